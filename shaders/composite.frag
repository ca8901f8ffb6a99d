#version 430
// Composite: the scene colour (opaque) plus 0.8 times the bloom image.

layout(std140, binding = 0) uniform D
{
    float T0;
    float F0;
    vec2 R0;
    vec4 M0;
    vec4 CP;
    vec4 CR;
};

layout(binding = 0) uniform sampler2D sceneColor;
layout(binding = 1) uniform sampler2D bloom;

layout(location = 0) out vec4 color;

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    vec4 scene = vec4(texture(sceneColor, uv).rgb, 1.0);
    color = scene + 0.8 * texture(bloom, uv);
}
