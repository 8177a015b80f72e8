#include "cli/score_json.h"

#include <span>

#include "composition/score.h"

namespace tarnwick {

namespace {

void appendArray(std::string& json, std::string_view key, std::span<const NoteByte> notes) {
    json += '"';
    json += key;
    json += "\":[";
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (i != 0) {
            json += ',';
        }
        json += std::to_string(notes[i]);
    }
    json += ']';
}

} // namespace

std::string scoreToJson(const Score& score) {
    std::string json = "{";
    appendArray(json, "voice1", score.voice1Notes);
    json += ',';
    appendArray(json, "voice2", score.voice2Notes);
    json += ',';
    appendArray(json, "harmony", score.harmonyNotes);
    json += ',';
    appendArray(json, "voice3", score.voice3Notes);
    json += ',';
    appendArray(json, "drums", score.drumNotes);
    json += '}';
    return json;
}

} // namespace tarnwick
