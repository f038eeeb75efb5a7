#pragma once
// Device texts in the control: the platform's own fonts.

namespace fw::player {

// Makes the platform's Arial, Times New Roman and Courier New the device fonts the player
// draws with; once per process, later calls keep what is installed.
void InstallDeviceFonts();

} // namespace fw::player
