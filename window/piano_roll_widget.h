#pragma once
// The piano roll under the window's controls: the score of the last "Play" as
// the player sounds it, a drum lane that marks the beat ahead and fills in each
// hit as it is heard, and a playhead on the step that sounds. A tick repaints
// only the columns the playhead leaves and enters. Hovering over a note names
// it ("voice 2, step 96, E4"). Before the first "Play" it shows an empty roll
// with a hint.

#include <cstdint>
#include <optional>

#include <QWidget>

#include "roll/roll_follower.h"
#include "roll/roll_layout.h"
#include "roll/roll_picture.h"

namespace tarnwick {

struct Score;
struct SongSettings;
struct PlayState;

class PianoRollWidget final : public QWidget {
    Q_OBJECT

  public:
    explicit PianoRollWidget(QWidget* parent = nullptr);

    // After "Play": the new score, and a new performance to follow from `state`.
    void startPerformance(const Score& score, const SongSettings& settings, const PlayState& state);

    // After any other command: the player reads harmonyOffset live, so the
    // harmony line shows or hides with it. Repaints only when that changes.
    void updateSettings(const Score& score, const SongSettings& settings);

    // Every message the performance sends, so the drum lane shows what was heard.
    void hear(std::uint32_t message) { follower_.hear(message); }

    // After each tick: moves the playhead and fills in the drum hit heard.
    void followTick(const PlayState& state, const SongSettings& settings);

    const RollPicture& picture() const { return picture_; }
    const RollLayout& layout() const { return layout_; }
    std::optional<int> playhead() const { return follower_.playhead(); }
    // The one-line hint shown before the first "Play"; empty after it.
    QString hint() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override; // tooltips on hover

  private:
    void showNotes(const Score& score, const SongSettings& settings);
    void updateColumn(std::optional<int> step);

    RollPicture picture_;
    RollLayout layout_;
    RollFollower follower_;
    bool played_ = false;
};

} // namespace tarnwick
