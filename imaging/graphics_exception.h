// The exceptions of the picture library.
//
// The picture codecs are the one part of the program that reports failures by
// throwing. Everything they raise derives from EGraphicsException, which
// carries the message text; the record conversion (imaging/picture_record.h)
// catches them all and turns the picture into a placeholder record, so
// callers outside imaging/ normally never see one.
//
// Messages: the decoders use our own fixed texts where the failure has one
// ("Missing SOI Marker", "Pas de signature PNG", ...) and the decoding
// library's own message otherwise.
#ifndef WAYFETCH_IMAGING_GRAPHICS_EXCEPTION_H
#define WAYFETCH_IMAGING_GRAPHICS_EXCEPTION_H

#include <stdexcept>
#include <string>

namespace wayfetch {

class EGraphicsException : public std::runtime_error {
 public:
  explicit EGraphicsException(const std::string& message) : std::runtime_error(message) {}
  std::string message() const { return what(); }
};

// A bitmap with a bit count other than 1, 4, 8 or 24.
class EInvalidBitCount : public EGraphicsException {
 public:
  EInvalidBitCount() : EGraphicsException("Invalid bit count") {}
};

// A bitmap row or palette entry outside the image.
class ESubscriptOutOfRange : public EGraphicsException {
 public:
  ESubscriptOutOfRange() : EGraphicsException("Subscript out of range") {}
};

// A decoder stopped at the caller's request.
class EGraphicsAbort : public EGraphicsException {
 public:
  EGraphicsAbort() : EGraphicsException("Aborted") {}
};

// JPEG decoding failures; the three classes below narrow the kind.
class EJpegError : public EGraphicsException {
 public:
  explicit EJpegError(const std::string& message) : EGraphicsException(message) {}
};

class EJpegValueOutOfRange : public EJpegError {
 public:
  EJpegValueOutOfRange() : EJpegError("Value out of range") {}
};

// Internal inconsistencies of the decoder; texts begin "INTERNAL ERROR".
class EJpegFatal : public EJpegError {
 public:
  explicit EJpegFatal(const std::string& message) : EJpegError(message) {}
};

// Malformed or unsupported JPEG streams.
class EJpegBadData : public EJpegError {
 public:
  explicit EJpegBadData(const std::string& message) : EJpegError(message) {}
};

// PNG decoding failures.
class EPngError : public EGraphicsException {
 public:
  explicit EPngError(const std::string& message) : EGraphicsException(message) {}
};

}  // namespace wayfetch

#endif
