// ostrel-content-builder: checks the show's source assets and writes the
// content block as an assembler source with its binary pieces.
//
//   ostrel-content-builder --out DIR --tracks DIR --tweaks FILE --shaders DIR
//                          --soundtrack FILE [--depfile FILE]
//
// The builder reads the 13 track files by their track names, the tweak file,
// the shader texts by their file names (the scene joined from its parts in
// their order; content/builder/block.h lists them) and the soundtrack, and
// writes into DIR:
//   content.S          the block, assembled with .incbin (one object per
//                      build variant: OSTREL_RENDER_WIDTH and
//                      OSTREL_RENDER_HEIGHT set the render size's start values)
//   content_layout.h   the sizes and offsets of the block's fields, for
//                      64-bit and 32-bit references
//   *.glsl, *.bin      the packed shader texts, tweak blob and key data
// A file is rewritten only when its bytes change, so an unchanged asset
// rebuilds nothing. With --depfile it also writes the files it read as a
// make-style dependency file for the build. A bad asset stops the build
// with one message, "file:line: fault"; an --out folder that is missing or
// takes no file is refused (status 2) before anything is read.
#include <cstdio>
#include <fstream>
#include <string>

#include "content/builder/block.h"
#include "tools/common/options.h"
#include "tools/common/paths.h"

namespace {

int stop(const std::string& message) {
    std::fprintf(stderr, "ostrel-content-builder: %s\n", message.c_str());
    return 1;
}

// A path as a make-style dependency file spells it.
std::string escaped(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, depfile;
    ContentSources sources;
    OptionParser parser("ostrel-content-builder",
                        "--out DIR --tracks DIR --tweaks FILE --shaders DIR --soundtrack FILE "
                        "[--depfile FILE]",
                        "Checks the show's source assets and writes the content block (content.S, "
                        "content_layout.h\nand its pieces) into DIR.");
    parser.text("--out", "DIR", &out, "where the block and its pieces go (required; the folder must exist)");
    parser.text("--tracks", "DIR", &sources.tracks, "the folder of the 13 NAME.track files (required)");
    parser.text("--tweaks", "FILE", &sources.tweaks, "the tweak settings file (required)");
    parser.text("--shaders", "DIR", &sources.shaders, "the folder of the shader sources (required)");
    parser.text("--soundtrack", "FILE", &sources.soundtrack, "the soundtrack's RIFF/WAVE image (required)");
    parser.text("--depfile", "FILE", &depfile, "also write the files read, for the build");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    for (const std::string* required :
         {&out, &sources.tracks, &sources.tweaks, &sources.shaders, &sources.soundtrack})
        if (required->empty())
            return parser.refuse("--out, --tracks, --tweaks, --shaders and --soundtrack are "
                                 "all required (see --help)");

    std::string why;
    if (!folderWritable("--out", out, &why)) return parser.refuse(why);

    ContentPieces pieces;
    std::string error;
    if (!gatherContent(sources, pieces, &error)) return stop(error);
    for (const std::string& warning : pieces.warnings)
        std::fprintf(stderr, "content: warning: %s\n", warning.c_str());
    if (!writeContentBlock(out, pieces, &error)) return stop(error);
    if (!depfile.empty()) {
        std::string text = escaped(out + "/content.S") + ":";
        for (const std::string& input : pieces.inputs) text += " \\\n  " + escaped(input);
        std::ofstream file(depfile, std::ios::binary | std::ios::trunc);
        file << text << "\n";
        file.close();
        if (!file) return stop("cannot write " + depfile);
    }
    std::printf("ostrel-content-builder: %d tracks (%d key%s), %d tweak setting%s, soundtrack %.3f s\n",
                int(trackCount), pieces.keys, pieces.keys == 1 ? "" : "s", pieces.tweaks,
                pieces.tweaks == 1 ? "" : "s", pieces.soundtrackSeconds);
    return 0;
}
