// The camera positions in use: each camera view's acquisition registers itself for its position,
// so the probe's counterparts (SaveSN, loss check, restart, capture speed) reach every camera.
#pragma once

class CameraAcquisition;

namespace CameraRegistry {

void Register(CameraAcquisition *camera);    // replaces an earlier one at the same position
void Unregister(CameraAcquisition *camera);  // only when it is the registered one
CameraAcquisition *At(int position);         // nullptr for a position without a view

}  // namespace CameraRegistry
