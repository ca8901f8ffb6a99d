#version 430
// Placeholder until the noise compute is written.
layout(local_size_x = 8, local_size_y = 8) in;
layout(rgba32f, binding = 0) uniform writeonly image2D noiseTexture;
void main() { imageStore(noiseTexture, ivec2(gl_GlobalInvocationID.xy), vec4(0.0)); }
