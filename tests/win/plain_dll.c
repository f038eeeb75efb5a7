/* A library that exports something, but no registration entry. */
__declspec(dllexport) int PlainValue(void) {
    return 7;
}
