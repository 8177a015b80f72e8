// Tarnwick as an LV2 plugin: a MIDI generator that plays the canon on the
// host's timeline. Port 0 takes the host's time and transport (time:Position)
// and the settings-file parameter (patch:Set); port 1 gives the MIDI events;
// the controls follow in the order of plugin_controls.h.
//
// Threads: run() on the host's audio thread never allocates, locks or reads
// files; whatever needs that (the ranges through the controls exchange,
// composing, reading a .tarn file) is asked of the host's worker thread and
// its answer taken over in work_response(), between two runs. State save and
// restore run on the host's main thread, never during run().

#include <cmath>
#include <cstdint>
#include <cstring>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <memory>
#include <new>

#include "composition/canon_generator.h"
#include "composition/randomisers.h"
#include "files/settings_file.h"
#include "playback/manual_step_timer.h"
#include "playback/performance.h"
#include "playback/transport.h"
#include "plugin/atom_midi_output.h"
#include "plugin/host_timeline.h"
#include "plugin/plugin_controls.h"
#include "plugin/plugin_work.h"

namespace tarnwick::plugin {

namespace {

constexpr const char* kUri = TARNWICK_LV2_URI;
constexpr std::uint32_t kControlPort = 0;
constexpr std::uint32_t kMidiOutPort = 1;
constexpr std::uint32_t kFirstControl = 2;

struct Uris {
    LV2_URID atomPath, atomChunk, atomInt, atomLong, atomFloat, atomDouble, atomSequence;
    LV2_URID midiEvent;
    LV2_URID timePosition, timeFrame, timeSpeed, timeBeat, timeBar, timeBarBeat, timeBeatUnit,
        timeBeatsPerBar, timeBeatsPerMinute;
    LV2_URID patchSet, patchProperty, patchValue;
    LV2_URID settingsFile, stateSettings, stateRandom;

    explicit Uris(LV2_URID_Map* map) {
        const auto u = [map](const char* uri) { return map->map(map->handle, uri); };
        atomPath = u(LV2_ATOM__Path);
        atomChunk = u(LV2_ATOM__Chunk);
        atomInt = u(LV2_ATOM__Int);
        atomLong = u(LV2_ATOM__Long);
        atomFloat = u(LV2_ATOM__Float);
        atomDouble = u(LV2_ATOM__Double);
        atomSequence = u(LV2_ATOM__Sequence);
        midiEvent = u(LV2_MIDI__MidiEvent);
        timePosition = u(LV2_TIME__Position);
        timeFrame = u(LV2_TIME__frame);
        timeSpeed = u(LV2_TIME__speed);
        timeBeat = u(LV2_TIME__beat);
        timeBar = u(LV2_TIME__bar);
        timeBarBeat = u(LV2_TIME__barBeat);
        timeBeatUnit = u(LV2_TIME__beatUnit);
        timeBeatsPerBar = u(LV2_TIME__beatsPerBar);
        timeBeatsPerMinute = u(LV2_TIME__beatsPerMinute);
        patchSet = u(LV2_PATCH__Set);
        patchProperty = u(LV2_PATCH__property);
        patchValue = u(LV2_PATCH__value);
        settingsFile = u(TARNWICK_LV2_URI "#settingsFile");
        stateSettings = u(TARNWICK_LV2_URI "#settings");
        stateRandom = u(TARNWICK_LV2_URI "#random");
    }
};

// A number atom of any of the four kinds hosts use, or nullopt-like false.
bool readNumber(const Uris& uris, const LV2_Atom* atom, double& value) {
    if (atom == nullptr) {
        return false;
    }
    if (atom->type == uris.atomDouble) {
        value = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    } else if (atom->type == uris.atomFloat) {
        value = static_cast<double>(reinterpret_cast<const LV2_Atom_Float*>(atom)->body);
    } else if (atom->type == uris.atomLong) {
        value = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    } else if (atom->type == uris.atomInt) {
        value = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    } else {
        return false;
    }
    return true;
}

class Plugin {
  public:
    Plugin(double rate, LV2_URID_Map* map, LV2_Worker_Schedule* schedule)
        : uris_(map), schedule_(schedule), output_(new AtomMidiOutput(uris_.midiEvent)),
          timeline_(performance_, *output_) {
        lv2_atom_forge_init(&forge_, map);
        performance_.switchOutput(std::unique_ptr<MidiOutput>(output_), {});
        timeline_.setRate(rate);
        for (const ControlInfo& control : controlTable()) {
            setFieldValue(wanted_, control, control.start);
        }
        piece_.random.seed(1);
        // In range and composed before the first run: the worker's own rule.
        WorkResponse response;
        doWork(WorkRequest{.settings = wanted_}, response);
        piece_.settings = response.settings;
        piece_.score = response.score;
        seen_.fill(NAN);
    }

    void connect(std::uint32_t port, void* data) {
        if (port == kControlPort) {
            control_ = static_cast<const LV2_Atom_Sequence*>(data);
        } else if (port == kMidiOutPort) {
            midiOut_ = static_cast<LV2_Atom_Sequence*>(data);
        } else if (port - kFirstControl < kControlCount) {
            ports_[port - kFirstControl] = static_cast<const float*>(data);
        }
    }

    void activate() { timeline_.activate(); }
    void deactivate() { timeline_.deactivate(); }

    void run(std::uint32_t frames);

    LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                           std::uint32_t size, const void* data);
    LV2_Worker_Status workResponse(std::uint32_t size, const void* data);

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  private:
    void readPorts();
    void readEvents(std::uint32_t frames);
    HostPosition readPosition(const LV2_Atom_Object* object) const;
    void readPatchSet(const LV2_Atom_Object* object);
    void ask();

    Uris uris_;
    LV2_Worker_Schedule* schedule_;
    LV2_Atom_Forge forge_{};
    Piece piece_;
    ManualStepTimer timer_;
    Performance performance_{piece_, timer_};
    AtomMidiOutput* output_; // owned by the performance
    HostTimeline timeline_;

    const LV2_Atom_Sequence* control_ = nullptr;
    LV2_Atom_Sequence* midiOut_ = nullptr;
    std::array<const float*, kControlCount> ports_{};
    // The port values last taken: only a control that moves changes its
    // field, so draws and loaded files stay until a control is moved.
    std::array<float, kControlCount> seen_{};
    bool adoptPorts_ = false; // after a restore: the ports as they are
    bool hostTime_ = false;

    // The settings as the controls, draws and files leave them, before the
    // ranges; the worker brings them into range as piece_.settings.
    SongSettings wanted_;
    WorkRequest request_;
    bool asking_ = false;  // a request is with the worker
    bool changed_ = false; // wanted_ changed since the last request
    bool loadPending_ = false;
    std::uint32_t generation_ = 0;
};

void Plugin::readPorts() {
    const auto& table = controlTable();
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (ports_[i] == nullptr) {
            continue;
        }
        const float value = *ports_[i];
        const bool moved = !(value == seen_[i]);
        const bool pressed = value > 0.5f && !(seen_[i] > 0.5f);
        seen_[i] = value;
        if (i == kStepsPerBeatControl) {
            // No settings field: the port is the one place it is kept, also
            // through a restore.
            timeline_.setStepsPerBeat(controlNumber(value));
            continue;
        }
        if (!moved || adoptPorts_) {
            continue;
        }
        if (i == kRandomCanonControl || i == kRandomAllControl) {
            if (pressed && !std::isnan(value)) {
                (i == kRandomCanonControl ? drawSeed : randomiseAll)(wanted_, piece_.random);
                changed_ = true;
            }
        } else {
            setFieldValue(wanted_, table[i], controlNumber(value));
            changed_ = true;
        }
    }
    adoptPorts_ = false;
}

HostPosition Plugin::readPosition(const LV2_Atom_Object* object) const {
    const LV2_Atom *frame = nullptr, *speed = nullptr, *beat = nullptr, *bar = nullptr,
                   *barBeat = nullptr, *beatUnit = nullptr, *beatsPerBar = nullptr, *bpm = nullptr;
    lv2_atom_object_get(object, uris_.timeFrame, &frame, uris_.timeSpeed, &speed, uris_.timeBeat,
                        &beat, uris_.timeBar, &bar, uris_.timeBarBeat, &barBeat, uris_.timeBeatUnit,
                        &beatUnit, uris_.timeBeatsPerBar, &beatsPerBar, uris_.timeBeatsPerMinute,
                        &bpm, 0);
    HostPosition position;
    double value = 0.0;
    if (readNumber(uris_, frame, value)) {
        position.hasFrame = true;
        position.frame = static_cast<std::int64_t>(std::llround(value));
    }
    position.hasSpeed = readNumber(uris_, speed, position.speed);
    // The host's beats are of its beat unit; the steps count quarter notes.
    double unit = 4.0;
    if (!readNumber(uris_, beatUnit, unit) || unit <= 0.0) {
        unit = 4.0;
    }
    const double quarters = 4.0 / unit;
    double beatsPerMinute = 0.0;
    if (readNumber(uris_, bpm, beatsPerMinute) && beatsPerMinute > 0.0) {
        position.hasTempo = true;
        position.beatsPerMinute = beatsPerMinute * quarters;
    }
    double bars = 0.0, inBar = 0.0, perBar = 0.0, beats = 0.0;
    if (readNumber(uris_, bar, bars) && readNumber(uris_, barBeat, inBar) &&
        readNumber(uris_, beatsPerBar, perBar)) {
        position.hasBeats = true;
        position.beats = (bars * perBar + inBar) * quarters;
    } else if (readNumber(uris_, beat, beats)) {
        position.hasBeats = true;
        position.beats = beats * quarters;
    }
    return position;
}

void Plugin::readPatchSet(const LV2_Atom_Object* object) {
    const LV2_Atom *property = nullptr, *value = nullptr;
    lv2_atom_object_get(object, uris_.patchProperty, &property, uris_.patchValue, &value, 0);
    if (property == nullptr || property->type != forge_.URID || value == nullptr ||
        value->type != uris_.atomPath ||
        reinterpret_cast<const LV2_Atom_URID*>(property)->body != uris_.settingsFile) {
        return;
    }
    const std::uint32_t length = value->size;
    if (length == 0 || length > kPathCapacity) {
        return; // longer than any path we keep
    }
    std::memcpy(request_.path.data(), LV2_ATOM_BODY_CONST(value), length);
    request_.path[length - 1] = '\0';
    loadPending_ = true;
}

void Plugin::readEvents(std::uint32_t frames) {
    bool reported = hostTime_;
    if (control_ != nullptr && !reported) {
        LV2_ATOM_SEQUENCE_FOREACH(control_, event) {
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            if (lv2_atom_forge_is_object_type(&forge_, event->body.type) &&
                object->body.otype == uris_.timePosition) {
                reported = true;
            }
        }
    }
    hostTime_ = reported;
    timeline_.beginBlock(frames, hostTime_);
    if (control_ == nullptr) {
        return;
    }
    LV2_ATOM_SEQUENCE_FOREACH(control_, event) {
        if (!lv2_atom_forge_is_object_type(&forge_, event->body.type)) {
            continue;
        }
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        const auto offset =
            static_cast<std::uint32_t>(std::max<std::int64_t>(event->time.frames, 0));
        if (object->body.otype == uris_.timePosition) {
            timeline_.report(offset, readPosition(object));
        } else if (object->body.otype == uris_.patchSet) {
            readPatchSet(object);
        }
    }
}

void Plugin::ask() {
    if (asking_ || (!changed_ && !loadPending_)) {
        return;
    }
    request_.kind = loadPending_ ? WorkRequest::Kind::LoadFile : WorkRequest::Kind::Compose;
    request_.settings = wanted_;
    request_.generation = generation_;
    if (schedule_->schedule_work(schedule_->handle, sizeof request_, &request_) ==
        LV2_WORKER_SUCCESS) {
        asking_ = true;
        changed_ = false;
        loadPending_ = false;
    }
}

void Plugin::run(std::uint32_t frames) {
    if (midiOut_ == nullptr) {
        return;
    }
    const std::uint32_t capacity = midiOut_->atom.size;
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<std::uint8_t*>(midiOut_), capacity);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge_, &sequence, 0);
    output_->beginBlock(&forge_, frames);

    readPorts();
    timeline_.setStepMs(piece_.settings.stepMs);
    readEvents(frames);
    timeline_.endBlock();
    ask();

    lv2_atom_forge_pop(&forge_, &sequence);
    output_->beginBlock(nullptr, 0);
}

LV2_Worker_Status Plugin::work(LV2_Worker_Respond_Function respond,
                               LV2_Worker_Respond_Handle handle, std::uint32_t size,
                               const void* data) {
    if (size != sizeof(WorkRequest)) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
    WorkRequest request;
    std::memcpy(&request, data, sizeof request);
    WorkResponse response;
    if (!doWork(request, response)) {
        // The file could not be read: the settings stay, composed as they are.
        request.kind = WorkRequest::Kind::Compose;
        doWork(request, response);
    }
    return respond(handle, sizeof response, &response);
}

LV2_Worker_Status Plugin::workResponse(std::uint32_t size, const void* data) {
    if (size != sizeof(WorkResponse)) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
    const auto* response = static_cast<const WorkResponse*>(data);
    asking_ = false;
    if (response->generation != generation_) {
        return LV2_WORKER_SUCCESS; // asked before a restore: the restored settings stay
    }
    // Between two runs: the running performance plays the new score from
    // its next step, with the new volumes, holds, beat and drums.
    piece_.settings = response->settings;
    piece_.score = response->score;
    if (response->loaded) {
        wanted_ = response->settings;
    }
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    const SettingsFileBytes bytes = encodeSettings(piece_.settings);
    const auto random = static_cast<std::int32_t>(piece_.random.state());
    const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    if (store(handle, uris_.stateSettings, bytes.data(), bytes.size(), uris_.atomChunk, flags) !=
            LV2_STATE_SUCCESS ||
        store(handle, uris_.stateRandom, &random, sizeof random, uris_.atomInt, flags) !=
            LV2_STATE_SUCCESS) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    return LV2_STATE_SUCCESS;
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    std::size_t size = 0;
    std::uint32_t type = 0, flags = 0;
    const void* settings = retrieve(handle, uris_.stateSettings, &size, &type, &flags);
    if (settings == nullptr || size != kSettingsFileSize || type != uris_.atomChunk) {
        return LV2_STATE_ERR_NO_PROPERTY;
    }
    SettingsFileBytes bytes;
    std::memcpy(bytes.data(), settings, bytes.size());
    decodeSettings(bytes, piece_.settings);
    wanted_ = piece_.settings;
    generateScore(piece_.settings, piece_.score);
    fillDrumNotes(piece_.settings, piece_.score);
    const void* random = retrieve(handle, uris_.stateRandom, &size, &type, &flags);
    if (random != nullptr && size == sizeof(std::int32_t) && type == uris_.atomInt) {
        std::int32_t value = 0;
        std::memcpy(&value, random, sizeof value);
        piece_.random.seed(static_cast<std::uint32_t>(value));
    }
    // The ports hold what was saved with the settings (or older values):
    // taken as they are, not laid over the settings.
    adoptPorts_ = true;
    changed_ = false;
    loadPending_ = false;
    ++generation_;
    return LV2_STATE_SUCCESS;
}

// The C entry points.

Plugin* self(LV2_Handle handle) {
    return static_cast<Plugin*>(handle);
}

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate, const char* /*path*/,
                       const LV2_Feature* const* features) {
    LV2_URID_Map* map = nullptr;
    LV2_Worker_Schedule* schedule = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
            map = static_cast<LV2_URID_Map*>(features[i]->data);
        } else if (std::strcmp(features[i]->URI, LV2_WORKER__schedule) == 0) {
            schedule = static_cast<LV2_Worker_Schedule*>(features[i]->data);
        }
    }
    if (map == nullptr || schedule == nullptr) {
        return nullptr; // both are required features
    }
    return new (std::nothrow) Plugin(rate, map, schedule);
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    self(handle)->connect(port, data);
}
void activate(LV2_Handle handle) {
    self(handle)->activate();
}
void run(LV2_Handle handle, std::uint32_t frames) {
    self(handle)->run(frames);
}
void deactivate(LV2_Handle handle) {
    self(handle)->deactivate();
}
void cleanup(LV2_Handle handle) {
    delete self(handle);
}

LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle respondHandle, std::uint32_t size,
                       const void* data) {
    return self(handle)->work(respond, respondHandle, size, data);
}
LV2_Worker_Status workResponse(LV2_Handle handle, std::uint32_t size, const void* data) {
    return self(handle)->workResponse(size, data);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      std::uint32_t /*flags*/, const LV2_Feature* const* /*features*/) {
    return self(handle)->save(store, state);
}
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, std::uint32_t /*flags*/,
                         const LV2_Feature* const* /*features*/) {
    return self(handle)->restore(retrieve, state);
}

const void* extensionData(const char* uri) {
    static const LV2_Worker_Interface worker = {work, workResponse, nullptr};
    static const LV2_State_Interface state = {save, restore};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) {
        return &worker;
    }
    if (std::strcmp(uri, LV2_STATE__interface) == 0) {
        return &state;
    }
    return nullptr;
}

const LV2_Descriptor descriptor = {kUri, instantiate, connectPort, activate,
                                   run,  deactivate,  cleanup,     extensionData};

} // namespace

} // namespace tarnwick::plugin

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &tarnwick::plugin::descriptor : nullptr;
}
