#include "window/tempo_control.h"

#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "link/link_steps.h"
#include "playback/beat_position.h"
#include "playback/performance.h"
#include "playback/switched_step_timer.h"
#include "playback/transport_steps.h"

namespace tarnwick {

namespace {

const QString kSourceKey = QStringLiteral("tempo/source");
const QString kStepsPerBeatKey = QStringLiteral("tempo/stepsPerBeat");
const QString kTimebaseKey = QStringLiteral("tempo/jackTimebase");
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
    steps_.reset();
    master_.reset();
}

void TempoControl::choose(TempoSource source) {
    if (source != source_ && performance_.isPlaying()) {
        performance_.stop(SteadyClock::now()); // as "Stop" does, then the other source
    }
    steps_.reset();
    link_.reset();
    timer_.follow(false);
    source_ = TempoSource::Internal;
    if (source == TempoSource::JackTransport) {
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

void TempoControl::chooseStepsPerBeat(int stepsPerBeat) {
    stepsPerBeat_ = stepsPerBeat;
    performance_.setStepsPerBeat(stepsPerBeat);
    if (steps_) {
        steps_->setTempo(parts_.stepMs(), stepsPerBeat);
    }
    if (link_) {
        link_->setStepsPerBeat(stepsPerBeat);
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
    for (std::size_t i = 0; i < std::size(kStepLengths); ++i) {
        lengths_[i]->setChecked(kStepLengths[i] == stepsPerBeat_);
    }
    masterItem_->setChecked(master_ != nullptr);
    masterItem_->setEnabled(source_ == TempoSource::Internal);
}

} // namespace tarnwick
