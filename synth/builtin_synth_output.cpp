#include "synth/builtin_synth_output.h"

#include <algorithm>
#include <utility>

#include "synth/soundfont_locator.h"

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
    opening_.store(true);
    opener_ = std::thread([this] { open(); });
}

BuiltinSynthOutput::~BuiltinSynthOutput() {
    if (opener_.joinable()) {
        opener_.join();
    }
    {
        const std::lock_guard lock(sinkMutex_);
        sink_.reset(); // no audio callback after this
    }
    renderer_.store(nullptr);
    ownedRenderer_.reset();
}

std::string BuiltinSynthOutput::openSink(double sampleRate) {
    SynthRenderer* renderer = ownedRenderer_.get();
    for (const std::string& name : options_.drivers) {
        auto sink = options_.openSink(name, sampleRate, *this);
        // The synthesiser, once made, plays at one rate only.
        if (!sink || (renderer != nullptr && sink->sampleRate() != renderer->sampleRate())) {
            continue;
        }
        if (renderer != nullptr) {
            renderer->setSinkLatency(sink->latency());
        }
        lastRenderNs_.store(SteadyClock::now().time_since_epoch().count());
        const std::lock_guard lock(sinkMutex_);
        sink_ = std::move(sink);
        driver_ = name;
        return name;
    }
    return {};
}

void BuiltinSynthOutput::open() {
    const std::string driver = openSink(options_.synth.sampleRate);
    if (driver.empty()) {
        finish(State::Silent, "No sound: no audio device could be opened (" + driverList() + ")");
        return;
    }
    // The sink already runs, rendering silence until the renderer is set.
    SynthConfig config = options_.synth;
    std::chrono::nanoseconds latency{0};
    {
        const std::lock_guard lock(sinkMutex_);
        config.sampleRate = sink_->sampleRate();
        latency = sink_->latency();
    }
    auto renderer = std::make_unique<SynthRenderer>(config, scheduler_);
    const std::string failure = renderer->loadSoundFont(fontPath_);
    if (!failure.empty()) {
        {
            const std::lock_guard lock(sinkMutex_);
            sink_.reset();
        }
        finish(State::Silent, "No sound: " + failure);
        return;
    }
    renderer->setSinkLatency(latency);
    ownedRenderer_ = std::move(renderer);
    renderer_.store(ownedRenderer_.get(), std::memory_order_release);
    lastRenderNs_.store(SteadyClock::now().time_since_epoch().count());
    finish(State::Playing, "Built-in synthesiser: " + fontName_ + " (" + driver + ")");
    // Messages sent while the font loaded.
    if (scheduler_.pending() > 0 && idle_.exchange(false)) {
        resumeSink();
    }
}

void BuiltinSynthOutput::reopen() {
    std::unique_ptr<AudioSink> lost;
    {
        const std::lock_guard lock(sinkMutex_);
        lost = std::move(sink_);
    }
    lost.reset(); // its thread has ended: nothing renders now
    const std::string driver = openSink(ownedRenderer_->sampleRate());
    if (!driver.empty()) {
        finish(State::Playing, "Built-in synthesiser: " + fontName_ + " (" + driver + ")");
        idle_.store(false);
        resumeSink(); // what waits in the queue
    }
    opening_.store(false);
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
    opening_.store(false);
}

void BuiltinSynthOutput::lose(const std::string& status) {
    const std::lock_guard lock(mutex_);
    if (state_ == State::Playing) {
        state_ = State::Lost;
        status_ = status;
    }
}

void BuiltinSynthOutput::send(std::uint32_t message) {
    scheduler_.send(message);
    if (idle_.exchange(false)) {
        resumeSink();
    }
    checkSink();
}

void BuiltinSynthOutput::resumeSink() {
    lastRenderNs_.store(SteadyClock::now().time_since_epoch().count());
    const std::lock_guard lock(sinkMutex_);
    if (sink_) {
        sink_->resume();
    }
}

void BuiltinSynthOutput::checkSink() {
    const State state = state_.load();
    const auto now = SteadyClock::now();
    if (state == State::Playing && !idle_.load() &&
        now.time_since_epoch().count() - lastRenderNs_.load() >
            std::chrono::nanoseconds(kStalledAfter).count()) {
        std::string driver;
        {
            const std::lock_guard lock(sinkMutex_);
            driver = driver_;
        }
        lose("No sound: the audio device stopped playing (" + driver + ")");
    }
    if (state == State::Lost && now - lastRetry_ >= kRetryEvery && !opening_.load()) {
        lastRetry_ = now;
        if (opener_.joinable()) {
            opener_.join(); // it has finished
        }
        opening_.store(true);
        opener_ = std::thread([this] { reopen(); });
    }
}

bool BuiltinSynthOutput::render(const AudioPeriod& period) {
    lastRenderNs_.store(SteadyClock::now().time_since_epoch().count());
    SynthRenderer* renderer = renderer_.load(std::memory_order_acquire);
    if (renderer != nullptr && renderer->render(period)) {
        return true;
    }
    if (renderer == nullptr) {
        std::fill(period.left, period.left + period.frames, 0.0f);
        std::fill(period.right, period.right + period.frames, 0.0f);
    }
    // Nothing sounds. A message sent since the renderer looked either finds
    // idle_ set and resumes the sink, or is found here.
    idle_.store(true);
    return renderer != nullptr && scheduler_.pending() > 0 && idle_.exchange(false);
}

void BuiltinSynthOutput::sinkLost(std::string_view reason) {
    lose("No sound: " + std::string(reason));
}

std::string BuiltinSynthOutput::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

bool BuiltinSynthOutput::isSilent() const {
    return state_.load() == State::Silent;
}

bool BuiltinSynthOutput::waitUntilOpen(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, timeout, [this] { return state_ != State::Opening; });
}

} // namespace tarnwick
