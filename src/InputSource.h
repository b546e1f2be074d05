// Byte sources for the MP file reader: a file or standard input read in large blocks, a C++
// stream, and gzip-compressed data decoded on the fly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace varrowin {

// A sequential source of bytes. Every failure is a TError that names the input.
class TInputSource {
 public:
  virtual ~TInputSource() = default;
  TInputSource() = default;
  TInputSource(const TInputSource&) = delete;
  TInputSource& operator=(const TInputSource&) = delete;

  // Reads up to size bytes into buffer and returns how many were read; 0 only at the end of the
  // input (size > 0).
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// An open file descriptor, owned: closed with the object.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd = -1) : fd_(fd) {}
  ~TFileDescriptor();
  TFileDescriptor(TFileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TFileDescriptor& operator=(TFileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The bytes of a file descriptor from a start offset: with pread from the offset up to an end
// offset (or the end of the file), or with read from wherever the descriptor stands (pipes,
// terminals). Several pread sources may share one descriptor across threads.
class TFileSource : public TInputSource {
 public:
  static constexpr std::uint64_t kToEnd = UINT64_MAX;

  // Reads with read().
  TFileSource(int fd, std::string displayName);
  // Reads with pread() the bytes [start, end) of the file.
  TFileSource(int fd, std::string displayName, std::uint64_t start, std::uint64_t end);

  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  int fd_;
  std::string name_;
  bool positional_;
  std::uint64_t offset_ = 0;
  std::uint64_t end_ = kToEnd;
};

// The bytes of a C++ stream's buffer. A stream that is not good gives no bytes.
class TStreamSource : public TInputSource {
 public:
  explicit TStreamSource(std::istream& in);
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  std::streambuf* buffer_;
};

// Bytes already taken from a source, served before the rest of it.
class TPrefixedSource : public TInputSource {
 public:
  TPrefixedSource(std::vector<char> prefix, std::unique_ptr<TInputSource> rest);
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  std::vector<char> prefix_;
  std::size_t used_ = 0;
  std::unique_ptr<TInputSource> rest_;
};

// Decodes gzip data: one or more members in a row, each member's CRC-32 and length checked;
// after the last member only zero bytes may follow. Corrupt data, a stream cut short and any
// other data after a member are TErrors "Cannot read file: <name>: <reason>".
class TGzipSource : public TInputSource {
 public:
  TGzipSource(std::unique_ptr<TInputSource> compressed, std::string displayName);
  ~TGzipSource() override;
  TGzipSource(const TGzipSource&) = delete;
  TGzipSource& operator=(const TGzipSource&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  struct TState;
  // Refills the compressed input; false at its end.
  bool FillInput();
  // Checks what follows a finished member: another member (true), or zero padding up to the
  // end (false).
  bool NextMember();
  [[noreturn]] void Fail(const char* reason) const;

  std::unique_ptr<TInputSource> compressed_;
  std::string name_;
  std::unique_ptr<TState> state_;
  std::vector<char> input_;
  const char* pending_ = nullptr;  // a fault met after bytes that were still delivered
  bool memberEnded_ = false;
  bool finished_ = false;
};

// Reads the source to its end, so that a gzip source checks every member and what follows.
void ReadToEnd(TInputSource& source);

// True when the bytes begin with the gzip magic number 1f 8b.
bool IsGzipMagic(const char* data, std::size_t size);

// Puts a gzip decoder in front of the source when its first two bytes are the gzip magic number,
// and tells in *isGzip (when given) whether it did.
std::unique_ptr<TInputSource> DecodeIfGzip(std::unique_ptr<TInputSource> source,
                                           const std::string& displayName, bool* isGzip = nullptr);

// An input opened by name: "-" is standard input.
struct TOpenedInput {
  TFileDescriptor owned;     // the descriptor when it is not standard input's
  int fd = -1;               // the descriptor to read
  std::string displayName;   // the name as errors give it: "standard input" for "-"
  bool regularFile = false;  // a regular file (not standard input, a pipe or a device)
  std::uint64_t size = 0;    // its size, for a regular file
};

// Opens the file (or standard input for "-"). Throws TError "Cannot open file: <name>: <reason>"
// when it cannot be opened or is a directory.
TOpenedInput OpenInput(const std::string& name);

}  // namespace varrowin
