#include "window/output_switch.h"

#include "playback/step_timer.h"
#include "playback/transport.h"

namespace tarnwick {

std::unique_ptr<MidiOutput> switchOutput(DialogContext& context, SwitchableOutput& output,
                                         std::unique_ptr<MidiOutput> next) {
    if (context.timer.isRunning()) {
        const SteadyClock::time_point now = SteadyClock::now();
        MidiOutput& left = output.current();
        left.setMessageTime(now);
        output.sounding().silence(left);
        context.records.clock.leave(left);
        next->setMessageTime(now);
        setUpVoiceChannels(context.records.startSettings, *next);
    }
    return output.replace(std::move(next));
}

} // namespace tarnwick
