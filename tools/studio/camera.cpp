// camera.cpp: flying the camera, and writing track lines.
#include "tools/studio/camera.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "content/builder/assets.h"
#include "sync/sync.h"
#include "sync/tracks.h"

namespace studio {

namespace {

constexpr float moveSpeed = 2.0f;        // units a second
constexpr float turnSpeed = 1.0f;        // radians a second
constexpr float dragRadians = 0.005f;    // radians a pixel of mouse movement

// The scene shader's rotation of a row vector: (a, b) * opRotate(r).
void rotate(float& a, float& b, float r) {
    const float c = std::cos(r), s = std::sin(r);
    const float a2 = a * c + b * s;
    b = -a * s + b * c;
    a = a2;
}

}  // namespace

void startCamera(FreeCamera& camera, const TrackData& frame) {
    camera = FreeCamera{};
    camera.on = true;
    for (int i = 0; i < 3; ++i) {
        camera.position[i] = frame.value[camPosX + i];
        camera.rotation[i] = frame.value[camRotX + i];
    }
}

void pressCameraKey(FreeCamera& camera, CameraKey key, double now) {
    if (camera.down[key]) return;  // a key's repeats change nothing
    camera.down[key] = true;
    camera.pressedAt[key] = now;
}

void releaseCameraKey(FreeCamera& camera, CameraKey key, double now) {
    if (!camera.down[key]) return;
    camera.down[key] = false;
    camera.heldFor[key] += now - camera.pressedAt[key];
}

void flyCamera(FreeCamera& camera, double now, bool fast) {
    float seconds[cameraKeyCount];
    for (int k = 0; k < cameraKeyCount; ++k) {
        double held = camera.heldFor[k];
        if (camera.down[k]) {
            held += now - camera.pressedAt[k];
            camera.pressedAt[k] = now;
        }
        camera.heldFor[k] = 0.0;
        seconds[k] = float(held / 1000.0) * (k < turnLeft && fast ? 4.0f : 1.0f);
    }
    const float forward[3] = {0, 0, 1}, right[3] = {1, 0, 0};
    float along[3], across[3];
    cameraDirection(camera, forward, along);
    cameraDirection(camera, right, across);
    const float ahead = (seconds[moveForward] - seconds[moveBack]) * moveSpeed;
    const float aside = (seconds[moveRight] - seconds[moveLeft]) * moveSpeed;
    for (int i = 0; i < 3; ++i) camera.position[i] += along[i] * ahead + across[i] * aside;
    camera.position[1] += (seconds[moveUp] - seconds[moveDown]) * moveSpeed;
    camera.rotation[0] += (seconds[turnRight] - seconds[turnLeft]) * turnSpeed;
    camera.rotation[1] += (seconds[tiltUp] - seconds[tiltDown]) * turnSpeed;
}

bool cameraFlying(const FreeCamera& camera) {
    if (!camera.on) return false;
    for (bool down : camera.down)
        if (down) return true;
    return false;
}

void dragCamera(FreeCamera& camera, int dx, int dy) {
    camera.rotation[0] += float(dx) * dragRadians;
    camera.rotation[1] -= float(dy) * dragRadians;
}

void applyCamera(const FreeCamera& camera, TrackData& frame) {
    for (int i = 0; i < 3; ++i) {
        frame.value[camPosX + i] = camera.position[i];
        frame.value[camRotX + i] = camera.rotation[i];
    }
}

void cameraDirection(const FreeCamera& camera, const float local[3], float world[3]) {
    float x = local[0], y = local[1], z = local[2];
    rotate(x, y, camera.rotation[2]);  // roll
    rotate(y, z, camera.rotation[1]);  // tilt
    rotate(x, z, camera.rotation[0]);  // turn
    world[0] = x;
    world[1] = y;
    world[2] = z;
}

std::string trackLine(const SyncTrack* track, const char* name, std::int32_t row, float value) {
    const char* interpolation = "linear";
    if (track != nullptr && track->keys != nullptr && track->keyCount > 0) {
        std::int32_t k = findKey(track, row);
        if (k < 0) k = std::max(-k - 2, 0);  // the key before the row, or the first
        if (const char* word = interpolationName(track->keys[k].type)) interpolation = word;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%d %s %s  # %s", row, formatValue(value).c_str(),
                  interpolation, name);
    return line;
}

}  // namespace studio
