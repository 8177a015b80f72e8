// Writes the plugin's description (tarnwick.ttl) from the control table, at
// build time: the ports, every control with its range, default and, for the
// lists, the names the window's lists show.
//
// Usage: tarnwick_lv2_ttl PLUGIN_URI OUTPUT

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "composition/name_tables.h"
#include "composition/scale.h"
#include "playback/beat_position.h"
#include "plugin/plugin_controls.h"

namespace {

using tarnwick::plugin::ControlInfo;
using tarnwick::plugin::ControlKind;

// A Turtle string: quotes and backslashes escaped.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

void writeScalePoint(std::ostream& out, std::string_view label, int value) {
    out << "\t\tlv2:scalePoint [ rdfs:label " << quoted(label) << " ; rdf:value " << value
        << " ] ;\n";
}

void writeControl(std::ostream& out, const ControlInfo& control, int index) {
    out << "\t] , [\n\t\ta lv2:InputPort , lv2:ControlPort ;\n";
    out << "\t\tlv2:index " << index << " ;\n";
    out << "\t\tlv2:symbol " << quoted(control.symbol) << " ;\n";
    out << "\t\tlv2:name " << quoted(control.name) << " ;\n";
    out << "\t\tlv2:default " << control.start << " ;\n";
    out << "\t\tlv2:minimum " << control.minimum << " ;\n";
    out << "\t\tlv2:maximum " << control.maximum << " ;\n";
    switch (control.kind) {
    case ControlKind::Integer:
        out << "\t\tlv2:portProperty lv2:integer ;\n";
        break;
    case ControlKind::Toggle:
        out << "\t\tlv2:portProperty lv2:integer , lv2:toggled ;\n";
        break;
    case ControlKind::Trigger:
        out << "\t\tlv2:portProperty lv2:integer , lv2:toggled , pprops:trigger ;\n";
        break;
    case ControlKind::Scale:
    case ControlKind::Instrument:
    case ControlKind::Drum:
    case ControlKind::StepLength:
        out << "\t\tlv2:portProperty lv2:integer , lv2:enumeration ;\n";
        for (int v = control.minimum; v <= control.maximum; ++v) {
            if (control.kind == ControlKind::Scale) {
                writeScalePoint(out, tarnwick::scaleTable[static_cast<std::size_t>(v)].name, v);
            } else if (control.kind == ControlKind::Instrument) {
                writeScalePoint(out, tarnwick::instrumentName(v), v);
            } else if (control.kind == ControlKind::Drum) {
                writeScalePoint(out, tarnwick::drumName(v), v);
            } else if (tarnwick::isStepsPerBeat(v)) {
                writeScalePoint(out, tarnwick::stepLengthName(v), v);
            }
        }
        break;
    }
}

void writeDescription(std::ostream& out, std::string_view uri) {
    out << "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
           "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
           "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
           "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
           "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
           "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
           "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
           "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
           "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";
    out << "<" << uri << "#settingsFile>\n"
        << "\ta lv2:Parameter ;\n"
           "\trdfs:label \"Settings file\" ;\n"
           "\trdfs:comment \"A .tarn file saved by Tarnwick's window; loading it sets every "
           "setting.\" ;\n"
           "\trdfs:range atom:Path .\n\n";
    out << "<" << uri << ">\n"
        << "\ta lv2:Plugin , lv2:MIDIPlugin ;\n"
           "\tdoap:name \"Tarnwick\" ;\n"
           "\tdoap:license <http://usefulinc.com/doap/licenses/gpl> ;\n"
           "\trdfs:comment \"Permutating fugal canons on the host's timeline.\" ;\n"
           "\tlv2:requiredFeature urid:map , work:schedule ;\n"
           "\tlv2:optionalFeature lv2:hardRTCapable ;\n"
           "\tlv2:extensionData state:interface , work:interface ;\n"
        << "\tpatch:writable <" << uri << "#settingsFile> ;\n"
        << "\tlv2:port [\n"
           "\t\ta lv2:InputPort , atom:AtomPort ;\n"
           "\t\tatom:bufferType atom:Sequence ;\n"
           "\t\tatom:supports time:Position , patch:Message ;\n"
           "\t\tlv2:designation lv2:control ;\n"
           "\t\tlv2:index 0 ;\n"
           "\t\tlv2:symbol \"control\" ;\n"
           "\t\tlv2:name \"Control\" ;\n"
           "\t] , [\n"
           "\t\ta lv2:OutputPort , atom:AtomPort ;\n"
           "\t\tatom:bufferType atom:Sequence ;\n"
           "\t\tatom:supports midi:MidiEvent , patch:Message ;\n"
           "\t\tlv2:designation lv2:control ;\n"
           "\t\tlv2:index 1 ;\n"
           "\t\tlv2:symbol \"midi_out\" ;\n"
           "\t\tlv2:name \"MIDI out\" ;\n";
    int index = 2;
    for (const ControlInfo& control : tarnwick::plugin::controlTable()) {
        writeControl(out, control, index++);
    }
    out << "\t] .\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tarnwick_lv2_ttl PLUGIN_URI OUTPUT\n";
        return 2;
    }
    std::ofstream out(argv[2]);
    writeDescription(out, argv[1]);
    out.close();
    if (!out) {
        std::cerr << "tarnwick_lv2_ttl: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
