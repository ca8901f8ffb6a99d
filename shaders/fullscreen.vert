#version 430
// The vertex stage of every pass: the full-screen triangle's positions,
// passed through with w = 1, cover the whole viewport.

layout(location = 0) in vec3 position;

void main()
{
    gl_Position = vec4(position, 1.0);
}
