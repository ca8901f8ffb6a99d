#version 430
// The scene program: one fragment shader that ray-marches the show's world
// (a noise-shaped ground, a rippled water plane and one of three foreground
// objects chosen by the `scene` track), shades every hit with one
// directional light and writes the colour with the hit distance to
// attachment 0 and the bright colours to attachment 1 for the bloom chain.
//
// The text is joined from six parts, in this order: this header (types,
// uniform blocks, the noise sampler), noise, the distance-field library, the
// shading framework, the scene definitions with GetScene, and the pixel
// entry, last so that it can hand the field the scene's clock (its turns
// worked out once per pixel) and use the scene's reach.

// A surface material: albedo, roughness (squared before use), metallic,
// translucency (also the probe distance of the glow term) and the weight of
// the mirror bounce.
struct MA {
    vec3 al;
    float ro;
    float me;
    float tr;
    float re;
};

// A sample of the scene: va is 1 for a surface and 0 for nothing; di is the
// distance bound at a point (from GetScene) or the distance along the ray to
// the hit (from the ray marcher); ma is the nearest surface's material.
struct SD {
    int va;
    float di;
    MA ma;
};

// The frame data FD (the show clock T0, ms / 960 of the previous frame, and
// the pixel size R0 of the target being drawn) and the 13 sync-track values
// TrackData come in front of this text from the build.

// Declared for the shared layout; the bloom threshold is bloomLuminance.
layout(std140, binding = 3) uniform BloomData {
    float luminance;
};

// The 2048 x 2048 noise texture: one level, one channel, repeat wrap,
// bilinear; the scene reads its first channel only.
layout(binding = 0) uniform sampler2D NoiseTex;
