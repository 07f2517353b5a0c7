// What the operating system provides before a program runs and the program only relies on: the
// amplifier's USB driver and the buses it finds devices on. On Windows both are already there;
// elsewhere the program starts and stops our user-space stand-ins around its main window.
#pragma once

void StartSystemServices();
void StopSystemServices();
