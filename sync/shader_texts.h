// shader_texts.h: the entries of the content block's table of small shader
// texts (EmbeddedContent::shaderTexts), by position.
//
// The content builder fills the table in this order; the render code reads
// each text by its entry. Entry 1 is reserved and stays null.
#pragma once

enum ShaderText : int {
    vertexShaderText = 0,
    reservedShaderText = 1,
    bloomBlurShaderText = 2,
    compositeShaderText = 3,
    tonemapShaderText = 4,
    depthOfFieldShaderText = 5,
    shaderTextCount = 6
};
