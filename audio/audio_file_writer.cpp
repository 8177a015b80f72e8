#include "audio/audio_file_writer.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

namespace {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

int sndfileFormat(AudioFileFormat format) {
    switch (format) {
    case AudioFileFormat::Wav:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case AudioFileFormat::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFileFormat::OggVorbis:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    }
    return 0;
}

} // namespace

std::optional<AudioFileFormat> audioFormatForPath(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::nullopt;
    }
    const std::string extension = lowerCase(path.substr(dot + 1));
    if (extension == "wav") {
        return AudioFileFormat::Wav;
    }
    if (extension == "flac") {
        return AudioFileFormat::Flac;
    }
    if (extension == "ogg") {
        return AudioFileFormat::OggVorbis;
    }
    return std::nullopt;
}

AudioFileWriter::AudioFileWriter(const std::string& path, AudioFileFormat format, int sampleRate)
    : file_(path), result_(file_.result()) {
    if (!result_.ok()) {
        return;
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = sndfileFormat(format);
    // libsndfile writes through the temporary file's descriptor and leaves
    // closing it to the atomic writer.
    sound_ = sf_open_fd(file_.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (sound_ == nullptr) {
        fail(sf_strerror(nullptr));
        return;
    }
    // Clip rather than wrap around what lies beyond full scale.
    sf_command(sound_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() {
    if (sound_ != nullptr) {
        sf_close(sound_);
    }
}

void AudioFileWriter::fail(std::string reason) {
    if (result_.ok()) {
        result_ = FileResult::failure(result_.path, std::move(reason));
    }
}

bool AudioFileWriter::write(const float* left, const float* right, int frames) {
    if (!result_.ok()) {
        return false;
    }
    interleaved_.resize(static_cast<std::size_t>(frames) * 2);
    for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
        interleaved_[2 * i] = left[i];
        interleaved_[2 * i + 1] = right[i];
    }
    if (sf_writef_float(sound_, interleaved_.data(), frames) != frames) {
        fail(sf_strerror(sound_));
        return false;
    }
    // About a megabyte of 16-bit sound at a time goes on to the disk while
    // the rest renders, so closing the file waits for little.
    constexpr int kFlushFrames = 1 << 18;
    framesSinceFlush_ += frames;
    if (framesSinceFlush_ >= kFlushFrames) {
        file_.startFlush();
        framesSinceFlush_ = 0;
    }
    return true;
}

FileResult AudioFileWriter::close() {
    if (sound_ != nullptr) {
        // Closing writes the headers and what the encoder still holds.
        const int closed = sf_close(sound_);
        sound_ = nullptr;
        if (closed != 0) {
            fail(sf_error_number(closed));
        } else if (!file_.flush()) {
            result_ = file_.result();
        }
    }
    return result_;
}

FileResult AudioFileWriter::finish() {
    if (!close().ok()) {
        return result_;
    }
    result_ = file_.commit();
    return result_;
}

} // namespace tarnwick
