// noise.cpp: the noise texture, filled once at start-up by a compute pass.
//
// A 2048 x 2048 repeating GL_RGBA32F texture; the compute program (8 x 8
// invocations a work group) writes one noise value into all four channels
// of every texel, and the same value into a GL_R32F copy beside it (image
// unit 1). The scene samples the copy: its field reads one channel only,
// and a software rasteriser filters one channel for a quarter of the work.
// The scene samples through a sampler, so the image stores are made visible
// to texture fetches with a barrier. Neither texture is written again.
#include "render/frame.h"

namespace {

const GLint noiseSize = 2048;
const GLuint noiseGroupSize = 8;  // the compute stage's local size on each axis

}  // namespace

TextureBinding createNoiseTexture(const GlFunctions& gl, GLuint noiseProgram,
                                  TextureBinding* oneChannel) {
    // The copy first, made as createTexture makes the texture but with one
    // channel; createTexture then leaves the texture itself bound on unit 0.
    TextureBinding copy = {GL_TEXTURE_2D, 0};
    gl.glGenTextures(1, &copy.texture);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, copy.texture);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, noiseSize, noiseSize, 0, GL_RED, GL_FLOAT, nullptr);
    if (oneChannel != nullptr) *oneChannel = copy;

    TextureBinding texture = createTexture(gl, noiseSize, noiseSize, GL_FLOAT, nullptr);
    gl.glUseProgram(noiseProgram);
    gl.glUniform1i(0, 0);  // the image uniforms read image units 0 and 1
    gl.glUniform1i(1, 1);
    gl.glBindImageTexture(0, texture.texture, 0, 0, 0, GL_WRITE_ONLY, GL_RGBA32F);
    gl.glBindImageTexture(1, copy.texture, 0, 0, 0, GL_WRITE_ONLY, GL_R32F);
    gl.glDispatchCompute(noiseSize / noiseGroupSize, noiseSize / noiseGroupSize, 1);
    gl.glMemoryBarrier(GL_TEXTURE_FETCH_BARRIER_BIT);
    return texture;
}
