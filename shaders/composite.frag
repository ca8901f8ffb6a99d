#version 430
// Placeholder until the pass shaders are written.
out vec4 color;
void main() { color = vec4(0.0); }
