#pragma once
// Resource ids shared by the program's resource script and its code (plain defines: the resource
// compiler reads this file too).

// The program's icon, the first and only one: "Fenwobble.exe,0" names it.
#define FW_IDI_PROGRAM 1
