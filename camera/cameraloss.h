// Loss detection and recovery of the cameras: the disconnect flag, the frame stall watch, the loss
// check that closes every camera and the restart that reopens them when all are back.
#pragma once

// Decides whether the cameras are lost; if so raises the alarm (output 1 on), records the loss and
// closes every camera.
void CameraCheck(int position);

// While the cameras are lost: reopens and restarts all once as many cameras are present as were
// opened at start-up. The cycle calls it every 3 s while gisLost is set.
void CameraRestart();

// Per cycle tick: when a disconnect callback set the fault flag and the camera check is enabled,
// checks every position.
void CameraFaultTick();

// Once per second: each position's frames of the last second; in free-running mode six seconds
// without a frame raise a loss.
void CameraSecondTick();
