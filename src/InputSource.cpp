#include "InputSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include <varrowin/Common.h>

namespace varrowin {

namespace {

constexpr std::size_t kCompressedBlock = std::size_t{1} << 18;

[[noreturn]] void FailOpen(const std::string& name, int error) {
  throw TError("Cannot open file: " + name + ": " + std::strerror(error));
}

// zlib counts in 32-bit units; larger requests are served in parts.
uInt ZlibSize(std::size_t size) {
  return static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
}

}  // namespace

TFileDescriptor::~TFileDescriptor() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

TFileSource::TFileSource(int fd, std::string displayName)
    : fd_(fd), name_(std::move(displayName)), positional_(false) {}

TFileSource::TFileSource(int fd, std::string displayName, std::uint64_t start, std::uint64_t end)
    : fd_(fd), name_(std::move(displayName)), positional_(true), offset_(start), end_(end) {}

std::size_t TFileSource::Read(char* buffer, std::size_t size) {
  if (positional_) {
    if (offset_ >= end_) {
      return 0;
    }
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, end_ - offset_));
  }
  size = std::min<std::size_t>(size, std::size_t{1} << 30);
  for (;;) {
    const ssize_t got = positional_ ? pread(fd_, buffer, size, static_cast<off_t>(offset_))
                                    : read(fd_, buffer, size);
    if (got >= 0) {
      offset_ += static_cast<std::uint64_t>(got);
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) {
      FailOpen(name_, errno);
    }
  }
}

TStreamSource::TStreamSource(std::istream& in) : buffer_(in.good() ? in.rdbuf() : nullptr) {}

std::size_t TStreamSource::Read(char* buffer, std::size_t size) {
  if (buffer_ == nullptr) {
    return 0;
  }
  const auto wanted = static_cast<std::streamsize>(
      std::min<std::size_t>(size, static_cast<std::size_t>(std::numeric_limits<int>::max())));
  const std::streamsize got = buffer_->sgetn(buffer, wanted);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

TPrefixedSource::TPrefixedSource(std::vector<char> prefix, std::unique_ptr<TInputSource> rest)
    : prefix_(std::move(prefix)), rest_(std::move(rest)) {}

std::size_t TPrefixedSource::Read(char* buffer, std::size_t size) {
  if (used_ < prefix_.size()) {
    const std::size_t n = std::min(size, prefix_.size() - used_);
    std::memcpy(buffer, prefix_.data() + used_, n);
    used_ += n;
    if (used_ == prefix_.size()) {
      prefix_ = std::vector<char>();
    }
    return n;
  }
  return rest_->Read(buffer, size);
}

struct TGzipSource::TState {
  z_stream stream{};
  bool open = false;
  ~TState() {
    if (open) {
      inflateEnd(&stream);
    }
  }
};

TGzipSource::TGzipSource(std::unique_ptr<TInputSource> compressed, std::string displayName)
    : compressed_(std::move(compressed)),
      name_(std::move(displayName)),
      state_(std::make_unique<TState>()),
      input_(kCompressedBlock) {
  // 16 + the largest window: gzip members only, no zlib or raw streams.
  const int status = inflateInit2(&state_->stream, 16 + MAX_WBITS);
  if (status == Z_MEM_ERROR) {
    throw std::bad_alloc();
  }
  if (status != Z_OK) {
    Fail("cannot start the gzip decoder");
  }
  state_->open = true;
}

TGzipSource::~TGzipSource() = default;

void TGzipSource::Fail(const char* reason) const {
  throw TError("Cannot read file: " + name_ + ": " + reason);
}

bool TGzipSource::FillInput() {
  z_stream& z = state_->stream;
  if (z.avail_in > 0) {
    return true;
  }
  const std::size_t got = compressed_->Read(input_.data(), input_.size());
  z.next_in = reinterpret_cast<Bytef*>(input_.data());
  z.avail_in = static_cast<uInt>(got);
  return got > 0;
}

bool TGzipSource::NextMember() {
  z_stream& z = state_->stream;
  if (!FillInput()) {
    return false;
  }
  if (z.next_in[0] != 0) {
    // Another member must start with the magic number; its second byte may be in the next block,
    // which is brought in behind the first before anything is decided.
    if (z.next_in[0] == 0x1f && z.avail_in == 1) {
      input_[0] = static_cast<char>(0x1f);
      const std::size_t got = compressed_->Read(input_.data() + 1, input_.size() - 1);
      z.next_in = reinterpret_cast<Bytef*>(input_.data());
      z.avail_in = static_cast<uInt>(got + 1);
      if (got == 0) {
        Fail("truncated gzip data");  // a member cut after its first byte
      }
    }
    if (z.next_in[0] == 0x1f && z.next_in[1] == 0x8b) {
      if (inflateReset(&z) != Z_OK) {
        Fail("corrupt gzip data");
      }
      return true;
    }
    Fail("unexpected data after the gzip data");
  }
  // Zero padding: nothing but zero bytes up to the end.
  for (;;) {
    const Bytef* const begin = z.next_in;
    const Bytef* const end = begin + z.avail_in;
    if (std::find_if(begin, end, [](Bytef b) { return b != 0; }) != end) {
      Fail("unexpected data after the gzip data");
    }
    z.avail_in = 0;
    if (!FillInput()) {
      return false;
    }
  }
}

std::size_t TGzipSource::Read(char* buffer, std::size_t size) {
  z_stream& z = state_->stream;
  for (;;) {
    if (pending_ != nullptr) {
      Fail(pending_);
    }
    if (finished_) {
      return 0;
    }
    if (memberEnded_) {
      memberEnded_ = false;
      if (!NextMember()) {
        finished_ = true;
        return 0;
      }
    }
    if (!FillInput()) {
      Fail("truncated gzip data");
    }
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = ZlibSize(size);
    const uInt before = z.avail_out;
    const int status = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = before - z.avail_out;
    if (status == Z_STREAM_END) {
      memberEnded_ = true;
    } else if (status == Z_MEM_ERROR) {
      throw std::bad_alloc();
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      // Z_DATA_ERROR covers bad headers and blocks as well as CRC and length mismatches. The
      // bytes decoded before the fault are delivered first, so that the reader meets the faults
      // in the order of the data.
      pending_ = "corrupt gzip data";
    }
    if (produced > 0) {
      return produced;
    }
  }
}

void ReadToEnd(TInputSource& source) {
  std::vector<char> buffer(std::size_t{1} << 16);
  while (source.Read(buffer.data(), buffer.size()) > 0) {
  }
}

bool IsGzipMagic(const char* data, std::size_t size) {
  return size >= 2 && static_cast<unsigned char>(data[0]) == 0x1f &&
         static_cast<unsigned char>(data[1]) == 0x8b;
}

std::unique_ptr<TInputSource> DecodeIfGzip(std::unique_ptr<TInputSource> source,
                                           const std::string& displayName, bool* isGzip) {
  // Two bytes decide; a source may deliver them in two reads.
  std::vector<char> head(2);
  std::size_t have = 0;
  while (have < head.size()) {
    const std::size_t got = source->Read(head.data() + have, head.size() - have);
    if (got == 0) {
      break;
    }
    have += got;
  }
  head.resize(have);
  const bool gzip = IsGzipMagic(head.data(), head.size());
  if (isGzip != nullptr) {
    *isGzip = gzip;
  }
  auto prefixed = std::make_unique<TPrefixedSource>(std::move(head), std::move(source));
  if (!gzip) {
    return prefixed;
  }
  return std::make_unique<TGzipSource>(std::move(prefixed), displayName);
}

TOpenedInput OpenInput(const std::string& name) {
  TOpenedInput input;
  if (name == "-") {
    input.fd = STDIN_FILENO;
    input.displayName = "standard input";
    return input;
  }
  input.displayName = name;
  int fd = -1;
  do {
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    FailOpen(name, errno);
  }
  input.owned = TFileDescriptor(fd);
  input.fd = fd;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    FailOpen(name, errno);
  }
  if (S_ISDIR(info.st_mode)) {
    FailOpen(name, EISDIR);
  }
  if (S_ISREG(info.st_mode)) {
    input.regularFile = true;
    input.size = static_cast<std::uint64_t>(info.st_size);
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  return input;
}

}  // namespace varrowin
