#pragma once
// Writing sound to a WAV, FLAC or Ogg Vorbis file through libsndfile: 16-bit
// stereo for WAV and FLAC. The file replaces its target only when finish()
// succeeds; a writer destroyed before that leaves nothing behind.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sndfile.h>

#include "files/atomic_file.h"

namespace tarnwick {

enum class AudioFileFormat { Wav, Flac, OggVorbis };

// The format a file name asks for by its extension (.wav, .flac or .ogg, in
// any case), or nothing.
std::optional<AudioFileFormat> audioFormatForPath(std::string_view path);

// Why a name is refused, for a message.
inline constexpr std::string_view kAudioExtensionsReason =
    "the file name must end in .wav, .flac or .ogg";

class AudioFileWriter {
  public:
    // Starts a stereo file at `sampleRate`; see result() for whether that
    // worked.
    AudioFileWriter(const std::string& path, AudioFileFormat format, int sampleRate);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Success so far, or the file and the reason it failed.
    const FileResult& result() const { return result_; }

    // Appends `frames` frames; samples beyond full scale are clipped. False
    // (and result() says why) when the write failed.
    bool write(const float* left, const float* right, int frames);

    // Completes the file (headers, what the encoder still holds) and flushes
    // it to the disk, without putting it in place yet.
    FileResult close();

    // Completes the file and puts it in place of the target.
    FileResult finish();

  private:
    void fail(std::string reason);

    AtomicFileWriter file_;
    SNDFILE* sound_ = nullptr;
    std::vector<float> interleaved_;
    int framesSinceFlush_ = 0;
    FileResult result_;
};

} // namespace tarnwick
