// The plugin in a small host made with lilv, as session hosts load it: state
// saved with lilv_state_new_from_instance, written out as text and read back,
// restored with lilv_state_restore into a new instance; and the settings-file
// parameter set by patch:Set. The worker runs its requests at once, within
// run(), and hands the answers back after it, as hosts without a worker
// thread do.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "plugin/plugin_controls.h"

namespace tarnwick::plugin {
namespace {

constexpr double kRate = 48'000.0;
constexpr std::uint32_t kBlock = 256;

// URIDs by number, for every instance of the test.
std::vector<std::string>& uriTable() {
    static std::vector<std::string> uris;
    return uris;
}
LV2_URID mapUri(LV2_URID_Map_Handle /*handle*/, const char* uri) {
    auto& uris = uriTable();
    for (std::size_t i = 0; i < uris.size(); ++i) {
        if (uris[i] == uri) {
            return static_cast<LV2_URID>(i + 1);
        }
    }
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}
const char* unmapUri(LV2_URID_Unmap_Handle /*handle*/, LV2_URID urid) {
    return urid == 0 || urid > uriTable().size() ? nullptr : uriTable()[urid - 1].c_str();
}

struct World {
    World() {
        world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, TARNWICK_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, TARNWICK_LV2_URI);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~World() { lilv_world_free(world); }
    LilvWorld* world;
    const LilvPlugin* plugin;
};

class Host {
  public:
    explicit Host(World& world) : world_(world) {
        const LV2_Feature* features[] = {&mapFeature_, &unmapFeature_, &scheduleFeature_, nullptr};
        instance_ = lilv_plugin_instantiate(world.plugin, kRate, features);
        if (instance_ == nullptr) {
            return;
        }
        worker_ = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
        const std::uint32_t ports = lilv_plugin_get_num_ports(world.plugin);
        values_.resize(ports);
        lilv_plugin_get_port_ranges_float(world.plugin, nullptr, nullptr, values_.data());
        for (std::uint32_t p = 2; p < ports; ++p) {
            lilv_instance_connect_port(instance_, p, &values_[p]);
        }
        lilv_instance_connect_port(instance_, 0, input_.data());
        lilv_instance_connect_port(instance_, 1, output_.data());
        lv2_atom_forge_init(&forge_, &map_);
        lilv_instance_activate(instance_);
    }
    ~Host() {
        if (instance_ != nullptr) {
            lilv_instance_deactivate(instance_);
            lilv_instance_free(instance_);
        }
    }
    bool ok() const { return instance_ != nullptr && worker_ != nullptr; }

    void set(std::string_view symbol, float value) {
        const auto& table = controlTable();
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i].symbol == symbol) {
                values_[i + 2] = value;
            }
        }
    }

    // The transport at `frame` (beats at 120 BPM), rolling or not, reported at
    // the next block's start.
    void report(std::int64_t frame, bool rolling) {
        LV2_Atom_Forge_Frame object;
        begin();
        lv2_atom_forge_frame_time(&forge_, 0);
        lv2_atom_forge_object(&forge_, &object, 0, map(LV2_TIME__Position));
        lv2_atom_forge_key(&forge_, map(LV2_TIME__frame));
        lv2_atom_forge_long(&forge_, frame);
        lv2_atom_forge_key(&forge_, map(LV2_TIME__speed));
        lv2_atom_forge_float(&forge_, rolling ? 1.0f : 0.0f);
        lv2_atom_forge_key(&forge_, map(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge_, 120.0f);
        lv2_atom_forge_key(&forge_, map(LV2_TIME__beat));
        lv2_atom_forge_double(&forge_, static_cast<double>(frame) / kRate * 2.0);
        lv2_atom_forge_pop(&forge_, &object);
    }

    // patch:Set of the settings file, at the next block's start.
    void loadFile(const std::string& path) {
        LV2_Atom_Forge_Frame object;
        begin();
        lv2_atom_forge_frame_time(&forge_, 0);
        lv2_atom_forge_object(&forge_, &object, 0, map(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge_, map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge_, map(TARNWICK_LV2_URI "#settingsFile"));
        lv2_atom_forge_key(&forge_, map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge_, path.c_str(), static_cast<std::uint32_t>(path.size() + 1));
        lv2_atom_forge_pop(&forge_, &object);
    }

    // Runs `blocks` blocks; the MIDI bytes of every event, with its frame.
    std::vector<std::string> run(int blocks) {
        std::vector<std::string> events;
        for (int b = 0; b < blocks; ++b) {
            if (!begun_) {
                begin();
            }
            auto* out = reinterpret_cast<LV2_Atom_Sequence*>(output_.data());
            out->atom.size = static_cast<std::uint32_t>(output_.size() - sizeof(LV2_Atom));
            lilv_instance_run(instance_, kBlock);
            lv2_atom_forge_pop(&forge_, &sequence_);
            begun_ = false;
            for (const auto& [size, data] : responses_) {
                worker_->work_response(lilv_instance_get_handle(instance_), size, data.data());
            }
            responses_.clear();
            LV2_ATOM_SEQUENCE_FOREACH(out, event) {
                const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY(&event->body));
                std::string text = std::to_string(frame_ + event->time.frames) + ":";
                for (std::uint32_t i = 0; i < event->body.size; ++i) {
                    text += " " + std::to_string(bytes[i]);
                }
                events.push_back(text);
            }
            frame_ += kBlock;
        }
        return events;
    }

    LilvState* save() {
        return lilv_state_new_from_instance(world_.plugin, instance_, &map_, nullptr, nullptr,
                                            nullptr, nullptr, portValue, this, 0, nullptr);
    }
    void restore(const LilvState* state) {
        lilv_state_restore(state, instance_, setPortValue, this, 0, nullptr);
    }

  private:
    LV2_URID map(const char* uri) { return mapUri(nullptr, uri); }

    // An empty input sequence for the next block.
    void begin() {
        if (begun_) {
            return;
        }
        lv2_atom_forge_set_buffer(&forge_, input_.data(), input_.size());
        lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
        begun_ = true; // the sequence's size grows with each event written
    }

    static const void* portValue(const char* symbol, void* self, std::uint32_t* size,
                                 std::uint32_t* type) {
        auto* host = static_cast<Host*>(self);
        const auto& table = controlTable();
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i].symbol == symbol) {
                *size = sizeof(float);
                *type = mapUri(nullptr, LV2_ATOM__Float);
                return &host->values_[i + 2];
            }
        }
        *size = 0;
        *type = 0;
        return nullptr;
    }
    static void setPortValue(const char* symbol, void* self, const void* value,
                             std::uint32_t /*size*/, std::uint32_t /*type*/) {
        float number = 0.0f;
        std::memcpy(&number, value, sizeof number);
        static_cast<Host*>(self)->set(symbol, number);
    }

    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle self, std::uint32_t size,
                                     const void* data) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        static_cast<Host*>(self)->responses_.emplace_back(
            size, std::vector<std::uint8_t>(bytes, bytes + size));
        return LV2_WORKER_SUCCESS;
    }
    static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle self, std::uint32_t size,
                                      const void* data) {
        auto* host = static_cast<Host*>(self);
        return host->worker_->work(lilv_instance_get_handle(host->instance_), respond, host, size,
                                   data);
    }

    World& world_;
    LV2_URID_Map map_{nullptr, mapUri};
    LV2_URID_Unmap unmap_{nullptr, unmapUri};
    LV2_Worker_Schedule schedule_{this, schedule};
    LV2_Feature mapFeature_{LV2_URID__map, &map_};
    LV2_Feature unmapFeature_{LV2_URID__unmap, &unmap_};
    LV2_Feature scheduleFeature_{LV2_WORKER__schedule, &schedule_};
    LilvInstance* instance_ = nullptr;
    const LV2_Worker_Interface* worker_ = nullptr;
    std::vector<float> values_;
    alignas(8) std::array<std::uint8_t, 4096> input_{};
    alignas(8) std::array<std::uint8_t, 65536> output_{};
    LV2_Atom_Forge forge_{};
    LV2_Atom_Forge_Frame sequence_{};
    bool begun_ = false;
    std::int64_t frame_ = 0;
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> responses_;
};

class LilvHost : public ::testing::Test {
  protected:
    World world;
};

// Plays from frame 0 for `blocks` blocks, then stops.
std::vector<std::string> playFromStart(Host& host, int blocks) {
    host.report(0, true);
    auto events = host.run(blocks);
    host.report(static_cast<std::int64_t>(blocks) * kBlock, false);
    const auto stop = host.run(1);
    events.insert(events.end(), stop.begin(), stop.end());
    return events;
}

TEST_F(LilvHost, ASessionSavedAndReopenedPlaysTheSame) {
    ASSERT_NE(world.plugin, nullptr);
    Host first(world);
    ASSERT_TRUE(first.ok());
    first.report(0, false);
    first.set("randomAll", 1.0f); // settings that no control shows
    first.run(2);
    first.set("randomAll", 0.0f);
    first.set("hold2", 0.0f);
    first.set("stepsPerBeat", 4.0f); // kept by the port alone
    first.run(1);
    playFromStart(first, 40);

    // Saved as a session file holds it, and read back.
    LilvState* saved = first.save();
    ASSERT_NE(saved, nullptr);
    LV2_URID_Map map{nullptr, mapUri};
    LV2_URID_Unmap unmap{nullptr, unmapUri};
    char* text =
        lilv_state_to_string(world.world, &map, &unmap, saved, "urn:tarnwick:test", nullptr);
    LilvState* reread = lilv_state_new_from_string(world.world, &map, text);
    ASSERT_NE(reread, nullptr);

    Host second(world);
    ASSERT_TRUE(second.ok());
    second.restore(reread);
    second.report(0, false);
    second.run(1);
    const auto again = playFromStart(first, 800);
    const auto reopened = playFromStart(second, 800);
    // Both from the same settings and random state: the same notes at the
    // same frames with the same velocities, after the set-up. Only the lines'
    // first note-offs (the last notes of the earlier performance) differ.
    const auto ons = [](const std::vector<std::string>& events) {
        std::vector<std::string> out;
        for (const std::string& e : events) {
            if (e.find(": 14") != std::string::npos || e.find(": 15") != std::string::npos) {
                out.push_back(e.substr(e.find(':')));
            }
        }
        return out;
    };
    EXPECT_GT(ons(again).size(), 40u);
    EXPECT_EQ(ons(again), ons(reopened));
    lilv_free(text);
    lilv_state_free(reread);
    lilv_state_free(saved);
}

TEST_F(LilvHost, TheSettingsFileParameterLoadsATarnFile) {
    ASSERT_NE(world.plugin, nullptr);
    SongSettings settings;
    for (const ControlInfo& control : controlTable()) {
        setFieldValue(settings, control, control.start);
    }
    settings.seed = {4, -1, 6, -3, 2, -5, 1, -4};
    settings.scaleIndex = 5;
    settings.harmonyOffset = 7;
    settings.stepMs = 120;
    const std::string path = ::testing::TempDir() + "lv2_loaded.tarn";
    ASSERT_TRUE(saveSettingsFile(path, settings).ok());

    Host loaded(world);
    Host controlled(world);
    ASSERT_TRUE(loaded.ok() && controlled.ok());
    for (const ControlInfo& control : controlTable()) {
        if (control.offset != kNoField) {
            controlled.set(control.symbol, static_cast<float>(fieldValue(settings, control)));
        }
    }
    loaded.loadFile(path);
    loaded.run(1);
    controlled.run(1);
    // Free-running at the file's "ms per": byte for byte what the controls give.
    const auto fromFile = loaded.run(1000);
    EXPECT_GT(fromFile.size(), 60u);
    EXPECT_EQ(fromFile, controlled.run(1000));
    // A file that cannot be read changes nothing.
    loaded.loadFile(path + ".missing");
    EXPECT_EQ(loaded.run(200), controlled.run(200));
    std::remove(path.c_str());
}

// A host that reports no time: steps at "ms per" from activation, and at the
// new value from the block where the plugin has it, the position going on.
TEST_F(LilvHost, WithoutTheHostsTimeStepsFollowMsPer) {
    ASSERT_NE(world.plugin, nullptr);
    Host host(world);
    ASSERT_TRUE(host.ok());
    const auto frames = [](const std::vector<std::string>& events) {
        std::vector<long> out;
        for (const std::string& e : events) {
            const bool noteOn = e.find(": 144") != std::string::npos ||
                                e.find(": 145") != std::string::npos ||
                                e.find(": 146") != std::string::npos;
            if (noteOn && (out.empty() || out.back() != std::stol(e))) {
                out.push_back(std::stol(e));
            }
        }
        return out;
    };
    const auto before = frames(host.run(200)); // 175 ms: 8400 frames a step
    host.set("stepMs", 100.0f);                // 4800 frames a step
    // The worker's answer comes after block 200: from block 201 on, the steps
    // go on from where the old tempo had got.
    const double changed = 201.0 * kBlock;
    const double steps = changed / 8400.0;
    const auto after = frames(host.run(400));
    ASSERT_GE(before.size(), 3u);
    ASSERT_GT(after.size(), 10u);
    for (const long frame : before) {
        EXPECT_EQ(frame % 8400, 0) << frame;
    }
    for (const long frame : after) {
        const double step = std::round((static_cast<double>(frame) - changed) / 4800.0 + steps);
        EXPECT_EQ(frame, static_cast<long>(std::ceil(changed + (step - steps) * 4800.0 - 0.125)));
    }
}

} // namespace
} // namespace tarnwick::plugin
