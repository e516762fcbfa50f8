// The start-up probe of the camera back-end, the start-up check of the camera count, the serial
// numbers of the cameras and the device counts.
#pragma once

// Finds the back-end in use and sets gCameraID, gFindCamera, gOW, gOH, gSensorColor, gImageW,
// gImageH, gImageLen and gColorLen. Runs once, after gisCut and gisColor are set and before any
// camera view exists. With MOULD_SIM_CAMERAS set, the simulated folder cameras are found instead.
void CheckCameraID();

// gImageLen and gColorLen from the image size and gisColor.
void ComputeImageLengths();

// After the camera views are built and numCamera counts the opened ones: asks about the serial
// numbers when the count changed or no camera opened (text rows 360 and 134, through
// the operator port), and waits 2 s when eight cameras were found.
void CheckCameraCountAtStartup();

// Stores the serial numbers of the open cameras at their renumbered positions (flag 0) or clears
// all eight (flag 1), in gSerialNB and in SN.db (connection "dbT").
void SaveSN(int flag);

// USB video cameras present: lines containing "Camera" in the kernel's input-device list.
int CheckUSBCameraNum();

// Refreshes gDeviceInfoList with the IMV devices of the station's make; returns their count.
int Dahua_EnumDevices();
