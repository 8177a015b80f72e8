#include "window/tempo_control.h"

#include <algorithm>

#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "link/link_steps.h"
#include "playback/beat_position.h"
#include "playback/clock_steps.h"
#include "playback/performance.h"
#include "playback/switched_step_timer.h"
#include "playback/transport_steps.h"
#include "ports/jack_midi_output.h"

namespace tarnwick {

namespace {

const QString kSourceKey = QStringLiteral("tempo/source");
const QString kStepsPerBeatKey = QStringLiteral("tempo/stepsPerBeat");
const QString kTimebaseKey = QStringLiteral("tempo/jackTimebase");
const QString kClockPortKey = QStringLiteral("tempo/clockPort");
// The menu's texts for 8, 4 and 2 steps a quarter note.
const char* const kLengthTexts[] = {"1/3&2", "1/1&6", "1/&8"};

} // namespace

TempoControl::TempoControl(QMenu& menu, Performance& performance, SwitchedStepTimer& timer,
                           Parts parts)
    : performance_(performance), timer_(timer), parts_(std::move(parts)),
      stepsPerBeat_(kDefaultStepsPerBeat) {
    auto* sources = new QActionGroup(&menu);
    internal_ = sources->addAction(QObject::tr("&Internal"));
    jack_ = sources->addAction(QObject::tr("&JACK Transport"));
    linkItem_ = sources->addAction(QObject::tr("Ableton &Link"));
    for (QAction* item : {internal_, jack_, linkItem_}) {
        item->setCheckable(true);
        menu.addAction(item);
    }
    QObject::connect(internal_, &QAction::triggered, [this] { choose(TempoSource::Internal); });
    QObject::connect(jack_, &QAction::triggered, [this] { choose(TempoSource::JackTransport); });
    QObject::connect(linkItem_, &QAction::triggered, [this] { choose(TempoSource::AbletonLink); });
    clockMenu_ = menu.addMenu(QObject::tr("MIDI &Clock"));
    clockMenu_->menuAction()->setCheckable(true);
    QObject::connect(clockMenu_, &QMenu::aboutToShow, [this] { listClockPorts(); });
    menu.addSeparator();
    auto* lengths = new QActionGroup(&menu);
    for (std::size_t i = 0; i < std::size(kStepLengths); ++i) {
        lengths_[i] = lengths->addAction(QObject::tr(kLengthTexts[i]));
        lengths_[i]->setCheckable(true);
        menu.addAction(lengths_[i]);
        QObject::connect(lengths_[i], &QAction::triggered,
                         [this, steps = kStepLengths[i]] { chooseStepsPerBeat(steps); });
    }
    menu.addSeparator();
    masterItem_ = menu.addAction(QObject::tr("JACK Timebase &Master"));
    masterItem_->setCheckable(true);
    QObject::connect(masterItem_, &QAction::triggered, [this](bool on) { setTimebaseMaster(on); });

    if (const QSettings* store = parts_.preferences.get()) {
        const int steps = store->value(kStepsPerBeatKey, kDefaultStepsPerBeat).toInt();
        stepsPerBeat_ = isStepsPerBeat(steps) ? steps : kDefaultStepsPerBeat;
        performance_.setStepsPerBeat(stepsPerBeat_);
        if (store->value(kTimebaseKey, false).toBool()) {
            setTimebaseMaster(true);
        }
        clockPort_ = store->value(kClockPortKey).toString().toStdString();
        const auto source = parseTempoSource(store->value(kSourceKey).toString().toStdString());
        if (source && *source != TempoSource::Internal) {
            choose(*source);
        }
    }
    show();
}

TempoControl::~TempoControl() = default;

bool TempoControl::play() {
    if (link_) {
        link_->play();
        return true;
    }
    if (steps_) {
        steps_->setTempo(parts_.stepMs(), stepsPerBeat_);
        steps_->play();
        return true;
    }
    if (master_) {
        master_->setTempo(parts_.stepMs(), stepsPerBeat_);
    }
    return false;
}

bool TempoControl::stop() {
    if (link_) {
        link_->stop();
        return true;
    }
    if (steps_) {
        steps_->stopTransport();
        return true;
    }
    return false;
}

void TempoControl::close() {
    link_.reset();
    clock_.reset();
    steps_.reset();
    master_.reset();
}

void TempoControl::choose(TempoSource source) {
    if (source != source_ && performance_.isPlaying()) {
        performance_.stop(SteadyClock::now()); // as "Stop" does, then the other source
    }
    steps_.reset();
    link_.reset();
    clock_.reset();
    timer_.follow(false);
    source_ = TempoSource::Internal;
    if (source == TempoSource::MidiClockIn) {
        ClockFault failure = ClockFault::None;
        timer_.follow(true);
        clock_ = ClockSteps::open(performance_, nullptr, clockPort_, stepsPerBeat_, parts_.report,
                                  failure);
        if (clock_) {
            source_ = source;
        } else {
            timer_.follow(false);
            parts_.report(clockFaultLine(failure, clockPort_));
        }
    } else if (source == TempoSource::JackTransport) {
        std::string failure;
        timer_.follow(true);
        steps_ = TransportSteps::open(performance_, stepsPerBeat_, parts_.stepMs(), parts_.report,
                                      failure);
        if (steps_) {
            source_ = source;
        } else {
            timer_.follow(false);
            parts_.report("Cannot follow JACK transport: " + failure);
        }
    } else if (source == TempoSource::AbletonLink) {
        timer_.follow(true);
        link_ = std::make_unique<LinkSteps>(performance_, stepsPerBeat_,
                                            tempoOfStepMs(parts_.stepMs(), stepsPerBeat_),
                                            parts_.report);
        source_ = source;
    } else {
        parts_.report({});
    }
    if (parts_.preferences) {
        parts_.preferences->setValue(kSourceKey, QString::fromUtf8(tempoSourceName(source).data()));
    }
    show();
}

// The submenu of MIDI Clock: the JACK MIDI ports there are now, and the one
// remembered, checked while it is followed.
void TempoControl::listClockPorts() {
    clockMenu_->clear();
    std::vector<std::string> ports = listJackMidiPorts(JackPortDirection::Outputs);
    if (!clockPort_.empty() && std::find(ports.begin(), ports.end(), clockPort_) == ports.end()) {
        ports.insert(ports.begin(), clockPort_);
    }
    if (ports.empty()) {
        clockMenu_->addAction(QObject::tr("(no JACK MIDI port)"))->setEnabled(false);
    }
    for (const std::string& port : ports) {
        QAction* item = clockMenu_->addAction(QString::fromStdString(port));
        item->setCheckable(true);
        item->setChecked(source_ == TempoSource::MidiClockIn && port == clockPort_);
        QObject::connect(item, &QAction::triggered, [this, port] {
            clockPort_ = port;
            if (parts_.preferences) {
                parts_.preferences->setValue(kClockPortKey, QString::fromStdString(port));
            }
            choose(TempoSource::MidiClockIn);
        });
    }
}

void TempoControl::chooseStepsPerBeat(int stepsPerBeat) {
    stepsPerBeat_ = stepsPerBeat;
    performance_.setStepsPerBeat(stepsPerBeat);
    if (steps_) {
        steps_->setTempo(parts_.stepMs(), stepsPerBeat);
    }
    if (link_) {
        link_->setStepsPerBeat(stepsPerBeat);
    }
    if (clock_) {
        clock_->setStepsPerBeat(stepsPerBeat);
    }
    if (master_) {
        master_->setTempo(parts_.stepMs(), stepsPerBeat);
    }
    if (parts_.preferences) {
        parts_.preferences->setValue(kStepsPerBeatKey, stepsPerBeat);
    }
    show();
}

void TempoControl::setTimebaseMaster(bool on) {
    timebaseMaster_ = on;
    master_.reset();
    if (on) {
        std::string failure;
        master_ = JackTransport::open(failure);
        if (master_ && !master_->setTimebaseMaster(true)) {
            failure = "another JACK client is the timebase master";
            master_.reset();
        }
        if (master_) {
            master_->setTempo(parts_.stepMs(), stepsPerBeat_);
        } else {
            parts_.report("Cannot be JACK timebase master: " + failure);
        }
    }
    if (parts_.preferences) {
        parts_.preferences->setValue(kTimebaseKey, on);
    }
    show();
}

void TempoControl::show() {
    internal_->setChecked(source_ == TempoSource::Internal);
    jack_->setChecked(source_ == TempoSource::JackTransport);
    linkItem_->setChecked(source_ == TempoSource::AbletonLink);
    clockMenu_->menuAction()->setChecked(source_ == TempoSource::MidiClockIn);
    for (std::size_t i = 0; i < std::size(kStepLengths); ++i) {
        lengths_[i]->setChecked(kStepLengths[i] == stepsPerBeat_);
    }
    masterItem_->setChecked(master_ != nullptr);
    masterItem_->setEnabled(source_ == TempoSource::Internal);
}

} // namespace tarnwick
