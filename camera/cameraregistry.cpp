#include "camera/cameraregistry.h"

#include "camera/cameraacquisition.h"

namespace {

CameraAcquisition *gCameras[8] = {};

}  // namespace

namespace CameraRegistry {

void Register(CameraAcquisition *camera)
{
    if (camera->position() >= 0 && camera->position() < 8)
        gCameras[camera->position()] = camera;
}

void Unregister(CameraAcquisition *camera)
{
    if (camera->position() >= 0 && camera->position() < 8 && gCameras[camera->position()] == camera)
        gCameras[camera->position()] = nullptr;
}

CameraAcquisition *At(int position)
{
    return position >= 0 && position < 8 ? gCameras[position] : nullptr;
}

}  // namespace CameraRegistry
