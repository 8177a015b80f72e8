#include "window/output_preferences.h"

#include <QSettings>

namespace tarnwick {

namespace {

const QString kOutputKey = QStringLiteral("output/name");
const QString kSoundFontKey = QStringLiteral("output/soundFont");
const QString kMidiClockKey = QStringLiteral("output/midiClock");

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

OutputPreferences loadOutputPreferences(const QSettings* store) {
    OutputPreferences preferences;
    if (store != nullptr) {
        preferences.output =
            store->value(kOutputKey, fromUtf8(preferences.output)).toString().toStdString();
        preferences.soundFont = store->value(kSoundFontKey).toString().toStdString();
        preferences.midiClock = store->value(kMidiClockKey, false).toBool();
    }
    return preferences;
}

void rememberOutput(QSettings* store, std::string_view name) {
    if (store != nullptr) {
        store->setValue(kOutputKey, fromUtf8(name));
    }
}

void rememberSoundFont(QSettings* store, std::string_view path) {
    if (store != nullptr) {
        store->setValue(kSoundFontKey, fromUtf8(path));
    }
}

void rememberMidiClock(QSettings* store, bool on) {
    if (store != nullptr) {
        store->setValue(kMidiClockKey, on);
    }
}

} // namespace tarnwick
