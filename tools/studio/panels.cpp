// panels.cpp: the timeline, the panels and the questions, drawn with ImGui.
#include "tools/studio/panels.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/moment.h"
#include "tools/studio/hud.h"

namespace studio {

namespace {

constexpr ImU32 laneColour = IM_COL32(20, 22, 28, 200);
constexpr ImU32 laneOddColour = IM_COL32(28, 30, 38, 200);
constexpr ImU32 curveColour = IM_COL32(120, 200, 255, 255);
constexpr ImU32 keyColour = IM_COL32(240, 240, 240, 255);
constexpr ImU32 selectedColour = IM_COL32(255, 190, 40, 255);
constexpr ImU32 beatColour = IM_COL32(255, 255, 255, 28);
constexpr ImU32 barColour = IM_COL32(255, 255, 255, 60);
constexpr ImU32 sectionColour = IM_COL32(255, 120, 200, 200);
constexpr ImU32 cutColour = IM_COL32(255, 80, 80, 170);
constexpr ImU32 playheadColour = IM_COL32(255, 255, 255, 230);
constexpr ImU32 errorBackground = IM_COL32(0x46, 0, 0, 255);

float px(double v) { return float(v); }

void keyMark(ImDrawList* d, float x, float y, float r, std::int32_t type, ImU32 colour) {
    switch (type) {
        case Step: d->AddRectFilled({x - r, y - r}, {x + r, y + r}, colour); break;
        case Linear: d->AddQuadFilled({x, y - r - 1}, {x + r + 1, y}, {x, y + r + 1}, {x - r - 1, y}, colour); break;
        case Smooth: d->AddCircleFilled({x, y}, r + 0.5f, colour, 12); break;
        default: d->AddTriangleFilled({x - r, y + r}, {x + r, y + r}, {x + r, y - r}, colour); break;
    }
}

// A lane: its background, the curve of the show's evaluation, the keys.
void drawLane(ImDrawList* d, const Editor& e, Track t, int index) {
    double top = 0, bottom = 0;
    laneSpan(e.lanes, t, top, bottom);
    const TimelineArea& a = e.area;
    d->AddRectFilled({0, px(top)}, {px(a.right), px(bottom)}, index % 2 ? laneOddColour : laneColour);
    if (int(t) == e.current)
        d->AddRectFilled({0, px(top)}, {px(a.namesRight), px(bottom)}, IM_COL32(60, 70, 110, 220));
    if (bottom - top >= 6)
        d->AddText(ImGui::GetFont(), std::min(13.0f, float(bottom - top) + 1), {3, px(top)},
                   IM_COL32(220, 220, 220, 255), trackNames[t]);
    const std::vector<SourceKey>& keys = e.model->keys[t];
    std::vector<float> values;
    for (const SourceKey& k : keys) values.push_back(k.value);
    double low = 0, high = 1;
    if (e.gesture == Gesture::moveKeys && e.anchor.track == t) {
        low = e.valueLow;
        high = e.valueHigh;
    } else {
        valueRange(values, low, high);
    }
    const SyncTrack* track = modelTracks(*e.model).tracks[t];
    d->PushClipRect({px(a.namesRight), px(top)}, {px(a.right), px(bottom)}, true);
    std::vector<ImVec2> points;
    for (double x = a.namesRight; x <= a.right; x += 1.0) {
        const double row = timeAtPixel(e.view, x) * score::rowsPerSecond / 1000.0;
        points.push_back({px(x), px(valueY(getTrackValue(track, row), low, high, top, bottom))});
    }
    d->AddPolyline(points.data(), int(points.size()), curveColour, 0, 1.0f);
    if (int(t) == e.lanes.open) {  // the value axis
        for (int i = 0; i <= 4; ++i) {
            const double v = low + (high - low) * i / 4.0;
            const float y = px(valueY(v, low, high, top, bottom));
            d->AddLine({px(a.namesRight), y}, {px(a.right), y}, IM_COL32(255, 255, 255, 30));
            char label[32];
            std::snprintf(label, sizeof label, "%.4g", v);
            d->AddText({px(a.namesRight) + 2, y - 13}, IM_COL32(180, 180, 180, 255), label);
        }
    }
    const float r = float(std::clamp((bottom - top) * 0.3, 2.0, 4.0));
    for (const SourceKey& k : keys) {
        const float x = px(pixelAt(e.view, rowMilliseconds(k.row)));
        if (x < a.namesRight - r || x > a.right + r) continue;
        const bool selected = std::binary_search(e.selection.begin(), e.selection.end(),
                                                 KeyRef{t, k.row});
        const float y = int(t) == e.lanes.open ? px(valueY(k.value, low, high, top, bottom))
                                               : px((top + bottom) * 0.5);
        keyMark(d, x, y, r, k.type, selected ? selectedColour : keyColour);
    }
    d->PopClipRect();
}

void drawWaveform(ImDrawList* d, const Editor& e, const Waveform& w) {
    const TimelineArea& a = e.area;
    d->AddRectFilled({0, px(a.waveTop)}, {px(a.right), px(a.waveBottom)}, IM_COL32(10, 12, 16, 220));
    d->AddText({3, px(a.waveTop) + 8}, IM_COL32(160, 160, 160, 255), "sound");
    if (w.peaks.empty()) return;
    const double middle = (a.waveTop + a.waveBottom) * 0.5, half = (a.waveBottom - a.waveTop) * 0.5;
    const double blockMs = waveformBlock * 1000.0 / double(soundRate);
    for (double x = a.namesRight; x < a.right; x += 1.0) {
        const double from = timeAtPixel(e.view, x), to = timeAtPixel(e.view, x + 1.0);
        if (to < 0) continue;
        std::size_t b0 = std::size_t(std::max(0.0, from / blockMs));
        std::size_t b1 = std::size_t(std::max(0.0, to / blockMs)) + 1;
        if (b0 >= w.peaks.size()) break;
        b1 = std::min(b1, w.peaks.size());
        std::uint16_t peak = 0;
        for (std::size_t b = b0; b < b1; ++b) peak = std::max(peak, w.peaks[b]);
        const double h = half * peak / 32768.0;
        d->AddLine({px(x), px(middle - h)}, {px(x), px(middle + h + 1)}, IM_COL32(90, 170, 120, 255));
    }
}

// Beats, bars and sections over the lanes and the waveform, cuts, the loop
// and the playhead; the ruler with seconds and section names.
void drawGrid(ImDrawList* d, const Editor& e) {
    const TimelineArea& a = e.area;
    const float top = px(a.rulerBottom), bottom = px(a.waveBottom);
    d->AddRectFilled({0, px(a.rulerTop)}, {px(a.right), px(a.rulerBottom)}, IM_COL32(40, 40, 48, 235));
    d->PushClipRect({px(a.namesRight), px(a.rulerTop)}, {px(a.right), bottom}, true);
    const double beatPixels = e.grid.beats.size() > 1
        ? (e.grid.beats[1].milliseconds - e.grid.beats[0].milliseconds) / e.view.msPerPixel : 0;
    for (const Beat& b : e.grid.beats) {
        const float x = px(pixelAt(e.view, b.milliseconds));
        if (x < a.namesRight || x > a.right) continue;
        if (!b.bar && beatPixels < 4) continue;
        d->AddLine({x, top}, {x, bottom}, b.bar ? barColour : beatColour);
    }
    std::int32_t loopA = 0, loopB = 0;
    if (loopRange(e.transport, loopA, loopB))
        d->AddRectFilled({px(pixelAt(e.view, loopA)), px(a.rulerTop)},
                         {px(pixelAt(e.view, loopB)), px(a.rulerBottom)}, IM_COL32(80, 140, 255, 90));
    // Seconds on the ruler, at a spacing that leaves room for the text.
    double step = 1000.0;
    for (double s : {1000.0, 2000.0, 5000.0, 10000.0, 20000.0, 30000.0})
        if (s / e.view.msPerPixel >= 45) { step = s; break; } else step = s;
    for (double t = std::floor(std::max(0.0, e.view.start) / step) * step;
         t <= timeAtPixel(e.view, a.right); t += step) {
        const float x = px(pixelAt(e.view, t));
        d->AddLine({x, px(a.rulerBottom) - 4}, {x, px(a.rulerBottom)}, IM_COL32(200, 200, 200, 255));
        char label[16];
        std::snprintf(label, sizeof label, "%ds", int(t / 1000));
        d->AddText({x + 2, px(a.rulerTop)}, IM_COL32(170, 170, 170, 255), label);
    }
    for (const Marker& m : e.grid.sections) {
        const float x = px(pixelAt(e.view, m.milliseconds));
        d->AddLine({x, px(a.rulerTop)}, {x, bottom}, sectionColour, 1.5f);
        const ImVec2 size = ImGui::CalcTextSize(m.name.c_str());
        d->AddRectFilled({x + 1, px(a.waveTop)}, {x + 3 + size.x, px(a.waveTop) + size.y},
                         IM_COL32(0, 0, 0, 190));
        d->AddText({x + 2, px(a.waveTop)}, sectionColour, m.name.c_str());
    }
    for (std::int32_t cut : e.transport.cuts) {
        const float x = px(pixelAt(e.view, cut));
        d->AddTriangleFilled({x - 4, px(a.waveBottom)}, {x + 4, px(a.waveBottom)},
                             {x, px(a.waveBottom) - 6}, cutColour);
    }
    const float x = px(pixelAt(e.view, e.transport.shown));
    d->AddLine({x, px(a.rulerTop)}, {x, bottom}, playheadColour, 1.0f);
    d->AddTriangleFilled({x - 5, px(a.rulerTop)}, {x + 5, px(a.rulerTop)}, {x, px(a.rulerTop) + 7},
                         playheadColour);
    if (e.gesture == Gesture::box)
        d->AddRect({px(e.pressX), px(e.pressY)}, {px(e.pointerX), px(e.pointerY)},
                   IM_COL32(255, 220, 120, 255));
    d->PopClipRect();
}

void drawTimeline(Editor& e, const Waveform& w) {
    ImDrawList* d = ImGui::GetBackgroundDrawList();
    int index = 0;
    for (Track t : laneOrder()) drawLane(d, e, t, index++);
    drawWaveform(d, e, w);
    drawGrid(d, e);
}

void menus(Editor& e, const PanelContent& content, PanelRequests& requests, bool& shiftAsked) {
    if (!ImGui::BeginMainMenuBar()) return;
    if (ImGui::BeginMenu("File")) {
        if (ImGui::MenuItem("Save", "Ctrl+S", false, modelChanged(*e.model))) e.saveRequested = true;
        if (ImGui::MenuItem("Quit", "Ctrl+Q")) {
            if (modelChanged(*e.model)) e.askingQuit = true; else e.quit = true;
        }
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Edit")) {
        if (ImGui::MenuItem("Undo", "Ctrl+Z", false, !e.model->done.empty())) undoStep(e);
        if (ImGui::MenuItem("Redo", "Ctrl+Shift+Z", false, !e.model->undone.empty())) redoStep(e);
        ImGui::Separator();
        static const char* names[] = {"step", "linear", "smooth", "ramp"};
        for (int i = 0; i < 4; ++i) {
            char shortcut[4] = {char('1' + i), 0};
            if (ImGui::MenuItem(names[i], shortcut, false, !e.selection.empty()))
                setSelectionInterpolation(e, i);
        }
        ImGui::Separator();
        if (ImGui::MenuItem("Shift keys after the playhead...")) shiftAsked = true;
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("View")) {
        if (ImGui::MenuItem("Whole show", "F")) fitAll(e.view, std::max(1, e.transport.end));
        if (ImGui::MenuItem("Timeline", "Tab", e.timeline)) e.timeline = !e.timeline;
        if (ImGui::MenuItem("Tweaks", nullptr, content.showTweaks)) requests.toggleTweaks = true;
        ImGui::EndMenu();
    }
    ImGui::EndMainMenuBar();
}

void shiftQuestion(Editor& e, bool asked) {
    static int rows = 24;
    if (asked) ImGui::OpenPopup("Shift keys");
    if (!ImGui::BeginPopupModal("Shift keys", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
    ImGui::Text("Every key at or after row %d, in every track, by", playheadRow(e));
    ImGui::InputInt("rows", &rows);
    if (ImGui::Button("Shift")) {
        shiftAfterPlayhead(e, rows);
        ImGui::CloseCurrentPopup();
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

void keyPanel(Editor& e) {
    if (e.selection.empty()) return;
    const float y = float(e.area.shown ? e.area.top : e.height) - 64;
    ImGui::SetNextWindowPos({float(e.width) - 250, std::max(20.0f, y)}, ImGuiCond_Always);
    ImGui::SetNextWindowSize({246, 0});
    ImGui::Begin("Keys", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                      ImGuiWindowFlags_NoSavedSettings |
                                      ImGuiWindowFlags_NoFocusOnAppearing);
    const KeyRef& k = e.selection.front();
    const SourceKey* key = nullptr;
    for (const SourceKey& s : e.model->keys[k.track])
        if (s.row == k.row) key = &s;
    if (key) {
        if (e.selection.size() == 1)
            ImGui::Text("%s row %d", trackNames[k.track], k.row);
        else
            ImGui::Text("%zu keys (first: %s row %d)", e.selection.size(), trackNames[k.track], k.row);
        // The field shows the key's value unless the user is typing in it.
        static char text[48];
        static bool typing = false;
        if (!typing) std::snprintf(text, sizeof text, "%s", formatValue(key->value).c_str());
        ImGui::SetNextItemWidth(110);
        if (ImGui::InputText("value", text, sizeof text, ImGuiInputTextFlags_EnterReturnsTrue))
            typeValue(e, text);
        typing = ImGui::IsItemActive();
        ImGui::SameLine();
        static const char* names[] = {"step", "linear", "smooth", "ramp"};
        int type = std::clamp(int(key->type), 0, 3);
        ImGui::SetNextItemWidth(70);
        if (ImGui::Combo("##interpolation", &type, names, 4)) setSelectionInterpolation(e, type);
    }
    ImGui::End();
}

void tweakPanel(Editor& e, const PanelContent& content) {
    if (!content.showTweaks) return;
    ImGui::SetNextWindowPos({4, 24}, ImGuiCond_FirstUseEver);
    ImGui::Begin("Tweaks", nullptr, ImGuiWindowFlags_AlwaysAutoResize);
    static char texts[tweakNameCount][32];
    for (const SourceTweak& t : e.model->tweaks) {
        int i = 0;
        while (i < tweakNameCount && t.name != tweakNames[i]) ++i;
        if (i == tweakNameCount) continue;
        ImGui::PushID(i);
        static bool typing[tweakNameCount] = {};
        if (!typing[i]) std::snprintf(texts[i], sizeof texts[i], "%s", formatValue(t.value).c_str());
        ImGui::SetNextItemWidth(100);
        if (ImGui::InputText(tweakNames[i], texts[i], sizeof texts[i],
                             ImGuiInputTextFlags_EnterReturnsTrue))
            typeTweak(e, t.name, texts[i]);
        typing[i] = ImGui::IsItemActive();
        ImGui::PopID();
    }
    ImGui::End();
}

void questions(Editor& e, const PanelContent& content, PanelRequests& requests) {
    if (e.askingQuit) ImGui::OpenPopup("Unsaved edits");
    if (ImGui::BeginPopupModal("Unsaved edits", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        int files = 0;
        for (int f = 0; f < modelFileCount; ++f) files += fileChanged(*e.model, f);
        ImGui::Text("%d file%s with unsaved edits.", files, files == 1 ? "" : "s");
        if (ImGui::Button("Save and quit")) answerQuit(e, QuitAnswer::save);
        ImGui::SameLine();
        if (ImGui::Button("Quit without saving")) answerQuit(e, QuitAnswer::discard);
        ImGui::SameLine();
        if (ImGui::Button("Cancel")) answerQuit(e, QuitAnswer::stay);
        if (!e.askingQuit) ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
    if (content.conflicts.empty()) return;
    ImGui::SetNextWindowPos({float(e.width) * 0.5f, 60}, ImGuiCond_Always, {0.5f, 0});
    ImGui::Begin("Changed on disk", nullptr, ImGuiWindowFlags_AlwaysAutoResize |
                                                 ImGuiWindowFlags_NoSavedSettings);
    for (std::size_t i = 0; i < content.conflicts.size(); ++i) {
        ImGui::PushID(int(i));
        ImGui::Text("%s changed on disk; it has unsaved edits here.", content.conflicts[i].c_str());
        if (ImGui::Button("Keep mine (save over it)")) requests.keepMine = int(i);
        ImGui::SameLine();
        if (ImGui::Button("Take the file's (undoable)")) requests.takeTheirs = int(i);
        ImGui::PopID();
    }
    ImGui::End();
}

// The heads-up line, the errors and the last refusal, at the bottom.
void bottomLines(Editor& e, const PanelContent& content) {
    ImDrawList* d = ImGui::GetForegroundDrawList();
    const float lineHeight = ImGui::GetFontSize() + 2;
    float y = float(e.height) - lineHeight;
    if (e.headsUp) {
        d->AddRectFilled({0, y}, {float(e.width), float(e.height)}, IM_COL32(0, 0, 0, 200));
        d->AddText({4, y + 1}, IM_COL32(255, 255, 255, 255), content.line.c_str());
        y -= lineHeight;
    }
    std::vector<std::string> lines = content.errors;
    if (!e.message.empty()) lines.push_back(e.message);
    int shown = 0;
    for (auto it = lines.rbegin(); it != lines.rend() && shown < 8; ++it) {
        std::size_t start = 0;
        std::vector<std::string> parts;
        while (start < it->size()) {
            const std::size_t end = it->find('\n', start);
            parts.push_back(it->substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        for (auto p = parts.rbegin(); p != parts.rend() && shown < 8; ++p, ++shown) {
            d->AddRectFilled({0, y}, {float(e.width), y + lineHeight}, errorBackground);
            d->AddText({4, y + 1}, IM_COL32(255, 120, 120, 255), p->c_str());
            y -= lineHeight;
        }
    }
}

}  // namespace

void makeWaveform(Waveform& w, const SoundSamples* samples) {
    w.samples = samples;
    w.peaks.clear();
    if (samples == nullptr || samples->bytes == nullptr) return;
    const std::uint8_t* b = samples->bytes;
    for (std::int64_t start = 0; start < samples->frames; start += waveformBlock) {
        const std::int64_t end = std::min<std::int64_t>(samples->frames, start + waveformBlock);
        int peak = 0;
        for (std::int64_t f = start; f < end; ++f)
            for (int c = 0; c < 2; ++c) {
                const std::uint8_t* s = b + 4 * f + 2 * c;
                const int v = std::int16_t(std::uint16_t(s[0] | (s[1] << 8)));
                peak = std::max(peak, std::abs(v));
            }
        w.peaks.push_back(std::uint16_t(std::min(peak, 32768)));
    }
}

void drawPanels(Editor& e, const Waveform& waveform, const PanelContent& content,
                PanelRequests& requests) {
    bool shiftAsked = false;
    if (e.headsUp) {
        menus(e, content, requests, shiftAsked);
        if (e.timeline && e.area.shown) drawTimeline(e, waveform);
        keyPanel(e);
        tweakPanel(e, content);
    }
    shiftQuestion(e, shiftAsked);
    questions(e, content, requests);
    bottomLines(e, content);
}

}  // namespace studio
