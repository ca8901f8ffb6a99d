// noise.cpp: the noise texture, filled once at start-up by a compute pass.
//
// A 2048 x 2048 repeating texture of one channel (GL_R32F), made as
// createTexture makes its textures; the compute program
// (8 x 8 invocations a work group) writes one noise value into every texel.
// One channel, because the scene's field reads one: a software rasteriser
// filters every channel of a texture whatever the shader reads, and clears
// a new texture to zero, which for four channels of 2048 x 2048 floats took
// a quarter of start-up. The scene samples the texture through a sampler,
// so the image stores are made visible to texture fetches with a barrier.
// The texture is never written again.
#include "render/frame.h"

namespace {

const GLint noiseSize = 2048;
const GLuint noiseGroupSize = 8;  // the compute stage's local size on each axis

}  // namespace

TextureBinding createNoiseTexture(const GlFunctions& gl, GLuint noiseProgram) {
    TextureBinding texture =
        createTextureOfFormat(gl, noiseSize, noiseSize, GL_R32F, GL_RED, GL_FLOAT, nullptr);
    gl.glUseProgram(noiseProgram);
    gl.glUniform1i(0, 0);  // the image uniform reads image unit 0
    gl.glBindImageTexture(0, texture.texture, 0, 0, 0, GL_WRITE_ONLY, GL_R32F);
    gl.glDispatchCompute(noiseSize / noiseGroupSize, noiseSize / noiseGroupSize, 1);
    gl.glMemoryBarrier(GL_TEXTURE_FETCH_BARRIER_BIT);
    return texture;
}
