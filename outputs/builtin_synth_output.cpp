#include "outputs/builtin_synth_output.h"

#include <algorithm>
#include <utility>

#include "outputs/soundfont_locator.h"

namespace tarnwick {

namespace {

std::string driverList() {
    std::string list;
    for (std::string_view name : audioDriverNames()) {
        list += list.empty() ? "" : ", ";
        list += name;
    }
    return list;
}

} // namespace

BuiltinSynthOutput::BuiltinSynthOutput(BuiltinSynthOptions options)
    : options_(std::move(options)), scheduler_(options_.scheduler) {
    if (options_.drivers.empty()) {
        for (std::string_view name : audioDriverNames()) {
            options_.drivers.emplace_back(name);
        }
    }
    if (!options_.soundFont.empty()) {
        if (!isReadableFile(options_.soundFont)) {
            finish(State::Silent, "No sound: cannot read the SoundFont " + options_.soundFont);
            return;
        }
        fontPath_ = options_.soundFont;
    } else {
        fontPath_ = findSoundFont(defaultSoundFontPaths());
        if (fontPath_.empty()) {
            finish(State::Silent,
                   "No sound: no General MIDI SoundFont found (install fluid-soundfont-gm)");
            return;
        }
    }
    fontName_ = soundFontDisplayName(fontPath_);
    status_ = "Built-in synthesiser: loading " + fontName_;
    opener_ = std::thread([this] { open(); });
}

BuiltinSynthOutput::~BuiltinSynthOutput() {
    if (opener_.joinable()) {
        opener_.join();
    }
    sink_.reset(); // no audio callback after this
    renderer_.store(nullptr);
    ownedRenderer_.reset();
}

void BuiltinSynthOutput::open() {
    std::unique_ptr<AudioSink> sink;
    std::string driver;
    for (const std::string& name : options_.drivers) {
        sink =
            options_.openSink(name, options_.synth.sampleRate, RenderCallback{&renderAudio, this});
        if (sink) {
            driver = name;
            break;
        }
    }
    if (!sink) {
        finish(State::Silent, "No sound: no audio device could be opened (" + driverList() + ")");
        return;
    }
    // The sink already runs, rendering silence until the renderer is set.
    SynthConfig config = options_.synth;
    config.sampleRate = sink->sampleRate();
    auto renderer = std::make_unique<SynthRenderer>(config, scheduler_);
    const std::string failure = renderer->loadSoundFont(fontPath_);
    if (!failure.empty()) {
        sink.reset();
        finish(State::Silent, "No sound: " + failure);
        return;
    }
    sink_ = std::move(sink);
    ownedRenderer_ = std::move(renderer);
    renderer_.store(ownedRenderer_.get(), std::memory_order_release);
    finish(State::Playing, "Built-in synthesiser: " + fontName_ + " (" + driver + ")");
}

void BuiltinSynthOutput::finish(State state, std::string status) {
    if (state == State::Silent) {
        scheduler_.close();
    }
    {
        const std::lock_guard lock(mutex_);
        state_ = state;
        status_ = std::move(status);
    }
    opened_.notify_all();
}

void BuiltinSynthOutput::renderAudio(void* self, float* left, float* right, int frames) {
    auto* output = static_cast<BuiltinSynthOutput*>(self);
    if (SynthRenderer* renderer = output->renderer_.load(std::memory_order_acquire)) {
        renderer->render(left, right, frames, SteadyClock::now());
        return;
    }
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
}

std::string BuiltinSynthOutput::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

bool BuiltinSynthOutput::isSilent() const {
    const std::lock_guard lock(mutex_);
    return state_ == State::Silent;
}

bool BuiltinSynthOutput::waitUntilOpen(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, timeout, [this] { return state_ != State::Opening; });
}

} // namespace tarnwick
