#version 430
// Placeholder until the pass shaders are written.
layout(location = 0) in vec3 position;
void main() { gl_Position = vec4(position, 1.0); }
