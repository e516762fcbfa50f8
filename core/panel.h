// The panel's lamps and backlight on the lamp device, and the two planned ways the process ends.
#pragma once

// Opens the lamp device ("/dev/led", or the path in MOULD_LED_DEVICE) into gfLED; failure is tolerated.
void OpenLampDevice();

// Backlight on (1) or off (0). Without the device only the screen-off flag changes.
void LCDOnOff(int on);

// Sets (on != 0) or clears bit `lamp` of the lamp byte and writes the byte to the device if open.
void LEDOnOff(int lamp, int on);

// The lamp byte as last set, whether or not a device is open.
int LampByte();

// True while the backlight is switched off.
bool IsScreenOff();

// Sleeps one second; called before planned shutdowns and reboots.
void StopWTD();

// Sleeps one second, then ends the process with `status`.
[[noreturn]] void Exit(int status);

// Lamp bits.
constexpr int kLampDetecting = 4;
constexpr int kLampHeartbeat = 5;
constexpr int kLampOk = 6;
constexpr int kLampNg = 7;
