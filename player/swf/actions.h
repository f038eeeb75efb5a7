#pragma once
// Action codes of the movie's byte code that the player understands. Codes from 0x80 up
// carry a 16-bit length and a body.

#include <cstdint>

namespace fw::swf {

enum class Op : std::uint8_t {
    End = 0x00,
    NextFrame = 0x04,
    PreviousFrame = 0x05,
    Play = 0x06,
    Stop = 0x07,
    ToggleQuality = 0x08,
    StopSounds = 0x09,
    Add = 0x0A,
    Subtract = 0x0B,
    Multiply = 0x0C,
    Divide = 0x0D,
    Equals = 0x0E,
    Less = 0x0F,
    And = 0x10,
    Or = 0x11,
    Not = 0x12,
    StringEquals = 0x13,
    StringLength = 0x14,
    StringExtract = 0x15,
    Pop = 0x17,
    ToInteger = 0x18,
    GetVariable = 0x1C,
    SetVariable = 0x1D,
    SetTarget2 = 0x20,
    StringAdd = 0x21,
    GetProperty = 0x22,
    SetProperty = 0x23,
    Trace = 0x26,
    StringLess = 0x29,
    GetTime = 0x34,
    DefineLocal = 0x3C,
    Modulo = 0x3F,
    DefineLocal2 = 0x41,
    InitObject = 0x43,
    TypeOf = 0x44,
    Add2 = 0x47,
    Less2 = 0x48,
    Equals2 = 0x49,
    ToNumber = 0x4A,
    ToString = 0x4B,
    PushDuplicate = 0x4C,
    StackSwap = 0x4D,
    GetMember = 0x4E,
    SetMember = 0x4F,
    Increment = 0x50,
    Decrement = 0x51,
    StrictEquals = 0x66,
    Greater = 0x67,
    // With a body:
    GotoFrame = 0x81,
    GetUrl = 0x83,
    StoreRegister = 0x87,
    ConstantPool = 0x88,
    SetTarget = 0x8B,
    GoToLabel = 0x8C,
    Push = 0x96,
    Jump = 0x99,
    GetUrl2 = 0x9A,
    If = 0x9D,
    GotoFrame2 = 0x9F,
};

// Value kinds inside a Push body.
enum class PushType : std::uint8_t {
    String = 0,
    Float = 1,
    Null = 2,
    Undefined = 3,
    Register = 4,
    Boolean = 5,
    Double = 6,
    Integer = 7,
    Constant8 = 8,
    Constant16 = 9,
};

} // namespace fw::swf
