#version 430
// Placeholder until the scene is written.
layout(location = 0) out vec4 colorBuffer;
layout(location = 1) out vec4 bloomBuffer;
void main() { colorBuffer = vec4(0.01, 0.01, 0.01, 0.0); bloomBuffer = vec4(0.0); }
