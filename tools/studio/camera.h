// camera.h: the free camera, and track values as lines of a track file.
//
// The free camera takes over the six camera tracks (camPosX to camRotZ)
// from the values they have when it starts, and moves as the scene shader
// places its camera: the view looks along +z before it turns, rolls by
// camRotZ, tilts by camRotY (up is positive) and turns by camRotX about the
// vertical axis (towards +x is positive), then moves to camPos. W and S
// move along the view, A and D across it, Q and E down and up; the arrow
// keys, or the mouse dragged with its left button, turn and tilt. Keys
// count for as long as they were held, measured from their press and
// release times, so a slow frame loses no movement and a quick tap moves
// a little.
//
// Track lines are what a track file holds, one key a line: "row value
// interpolation", here followed by "# name" (the files take comments), so
// that a line can be pasted into the file it names. The value is written
// by formatValue (content/builder/assets.h), as the track files' writer
// writes it ("180", never "1.8e+02"); the
// interpolation is the one of the key in force at that row in the track
// as it is (the first key's before it, "linear" for a track without keys).
#pragma once

#include <cstdint>
#include <string>

#include "render/uniforms.h"

struct SyncTrack;

namespace studio {

enum CameraKey { moveForward, moveBack, moveLeft, moveRight, moveDown, moveUp,
                 turnLeft, turnRight, tiltUp, tiltDown, cameraKeyCount };

struct FreeCamera {
    bool on = false;
    float position[3] = {0, 0, 0};  // camPosX, camPosY, camPosZ
    float rotation[3] = {0, 0, 0};  // camRotX (turn), camRotY (tilt), camRotZ (roll)
    bool down[cameraKeyCount] = {};
    double pressedAt[cameraKeyCount] = {};  // clock reading the key counts from
    double heldFor[cameraKeyCount] = {};    // milliseconds held, not yet flown
};

// Starts flying from the six camera values of `frame`; all keys up.
void startCamera(FreeCamera& camera, const TrackData& frame);
void pressCameraKey(FreeCamera& camera, CameraKey key, double now);
void releaseCameraKey(FreeCamera& camera, CameraKey key, double now);
// Moves and turns by the time each key was held up to `now`; `fast`
// (Shift held) moves four times as far.
void flyCamera(FreeCamera& camera, double now, bool fast);
// Whether a key of the camera is held: it moves from frame to frame.
bool cameraFlying(const FreeCamera& camera);
// A mouse drag of (dx, dy) pixels, y downwards.
void dragCamera(FreeCamera& camera, int dx, int dy);
// The camera's six values in place of the tracks'.
void applyCamera(const FreeCamera& camera, TrackData& frame);

// A direction of the camera's frame (x right, y up, z along the view
// before the shader's 14-degree look down) in the coordinates of camPos.
void cameraDirection(const FreeCamera& camera, const float local[3], float world[3]);

// "row value interpolation  # name".
std::string trackLine(const SyncTrack* track, const char* name, std::int32_t row, float value);

}  // namespace studio
