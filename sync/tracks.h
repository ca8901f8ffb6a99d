// tracks.h: the show's 13 sync tracks, by position.
//
// The position of a track is the position of its value in the TrackData
// uniform block, of its key-data reference in the content block, and of its
// line in every listing. The names are those of the uniform block members and
// of the source files under content/tracks/.
#pragma once

enum Track : int {
    dofFocusPoint,
    dofFocusScale,
    bloomLuminance,
    camPosX,
    camPosY,
    camPosZ,
    camRotX,
    camRotY,
    camRotZ,
    viggnet,
    scene,
    blobPos,
    blobEffect,
    trackCount
};

inline constexpr const char* trackNames[trackCount] = {
    "dofFocusPoint", "dofFocusScale", "bloomLuminance", "camPosX", "camPosY",
    "camPosZ",       "camRotX",       "camRotY",        "camRotZ", "viggnet",
    "scene",         "blobPos",       "blobEffect",
};

// The order in which the key-data blocks lie in the content block (by
// track): the camera and bloom tracks first, then focus, vignette, scene and
// blob.
inline constexpr Track trackBlockOrder[trackCount] = {
    bloomLuminance, camPosX,       camPosY, camPosZ, camRotX, camRotY,    camRotZ,
    dofFocusPoint,  dofFocusScale, viggnet, scene,   blobPos, blobEffect,
};
