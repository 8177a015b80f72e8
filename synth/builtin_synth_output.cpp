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
            finish(OutputState::silent(OutputCause::UnreadableSoundFont, options_.soundFont));
            return;
        }
        fontPath_ = options_.soundFont;
    } else {
        fontPath_ = findSoundFont(defaultSoundFontPaths());
        if (fontPath_.empty()) {
            finish(OutputState::silent(OutputCause::NoSoundFont));
            return;
        }
    }
    fontName_ = soundFontDisplayName(fontPath_);
    state_ = OutputState::opening(fontName_);
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
        std::string shown = sink->serverName().empty() ? name : sink->serverName();
        const std::lock_guard lock(sinkMutex_);
        sink_ = std::move(sink);
        driver_ = shown;
        return shown;
    }
    return {};
}

void BuiltinSynthOutput::open() {
    const std::string driver = openSink(options_.synth.sampleRate);
    if (driver.empty()) {
        finish(OutputState::silent(OutputCause::NoAudioDevice, driverList()));
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
        finish(OutputState::silent(OutputCause::SynthesiserFailed, failure));
        return;
    }
    renderer->setSinkLatency(latency);
    ownedRenderer_ = std::move(renderer);
    renderer_.store(ownedRenderer_.get(), std::memory_order_release);
    lastRenderNs_.store(SteadyClock::now().time_since_epoch().count());
    finish(OutputState::playing(OutputPath::BuiltinSynth, fontName_, driver));
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
        finish(OutputState::playing(OutputPath::BuiltinSynth, fontName_, driver));
        idle_.store(false);
        resumeSink(); // what waits in the queue
    }
    opening_.store(false);
}

void BuiltinSynthOutput::finish(OutputState state) {
    if (state.kind == Kind::Silent) {
        scheduler_.close();
    }
    {
        const std::lock_guard lock(mutex_);
        kind_ = state.kind;
        state_ = std::move(state);
    }
    opened_.notify_all();
    opening_.store(false);
}

void BuiltinSynthOutput::lose(OutputState interrupted) {
    const std::lock_guard lock(mutex_);
    if (kind_ == Kind::Playing) {
        kind_ = Kind::Interrupted;
        state_ = std::move(interrupted);
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
    const Kind kind = kind_.load();
    const auto now = SteadyClock::now();
    if (kind == Kind::Playing && !idle_.load() &&
        now.time_since_epoch().count() - lastRenderNs_.load() >
            std::chrono::nanoseconds(kStalledAfter).count()) {
        std::string driver;
        {
            const std::lock_guard lock(sinkMutex_);
            driver = driver_;
        }
        lose(OutputState::interrupted(OutputCause::AudioDeviceStopped, driver));
    }
    if (kind == Kind::Interrupted && now - lastRetry_ >= kRetryEvery && !opening_.load()) {
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

void BuiltinSynthOutput::sinkLost(std::string_view driver) {
    lose(OutputState::interrupted(OutputCause::SoundServerGone, std::string(driver)));
}

OutputState BuiltinSynthOutput::state() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

bool BuiltinSynthOutput::isSilent() const {
    return kind_.load() == Kind::Silent;
}

bool BuiltinSynthOutput::waitUntilOpen(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, timeout, [this] { return kind_ != Kind::Opening; });
}

} // namespace tarnwick
