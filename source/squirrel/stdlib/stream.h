// Streams shared by the blob and io libraries: one script class "std_stream" carries the
// reading/writing methods, and blob and file extend it with their own storage.
#pragma once

#include <squirrel.h>

namespace nutstd {

class Stream {
public:
    enum Origin { FromStart, FromCurrent, FromEnd };

    virtual ~Stream() = default;
    virtual SQInteger Read(void *buf, SQInteger size) = 0;
    virtual SQInteger Write(const void *buf, SQInteger size) = 0;
    virtual bool Flush() = 0;
    virtual SQInteger Tell() = 0;
    virtual SQInteger Len() = 0;
    virtual bool Seek(SQInteger offset, Origin origin) = 0;
    virtual bool IsValid() = 0;
    virtual bool Eos() = 0;
};

// Type tags: distinct addresses, compared by identity.
extern const char kStreamTag[];
extern const char kBlobTag[];
extern const char kFileTag[];

// Registers, into the table at -1, a class `name` extending the shared stream class (created
// on first use and also put into the root table as `stream`), kept in the registry under
// `registryKey`, with its own methods and the library's global functions.
SQRESULT DeclareStream(HSQUIRRELVM v, const SQChar *name, SQUserPointer typeTag, const SQChar *registryKey,
                       const SQRegFunction *methods, const SQRegFunction *globals);

// The stream behind `this` (index 1); null with the error set when it is not usable.
Stream *SelfStream(HSQUIRRELVM v);

// Pushes a new blob instance of `size` zero bytes; null on failure.
class Blob;
Blob *PushNewBlob(HSQUIRRELVM v, SQInteger size);

class Blob : public Stream {
public:
    explicit Blob(SQInteger size);
    ~Blob() override;
    Blob(const Blob &) = delete;
    Blob &operator=(const Blob &) = delete;

    SQInteger Read(void *buf, SQInteger size) override;
    SQInteger Write(const void *buf, SQInteger size) override;
    bool Flush() override { return true; }
    SQInteger Tell() override { return pos_; }
    SQInteger Len() override { return size_; }
    bool Seek(SQInteger offset, Origin origin) override;
    bool IsValid() override { return data_ != nullptr || capacity_ == 0; }
    bool Eos() override { return pos_ >= size_; }

    bool Resize(SQInteger size);
    unsigned char *Data() { return data_; }
    static constexpr SQInteger kMaxSize = 0x7FFFFFFF; // sizes and positions are 32-bit

private:
    bool Reserve(SQInteger capacity);

    unsigned char *data_ = nullptr;
    SQInteger size_ = 0;
    SQInteger capacity_ = 0;
    SQInteger pos_ = 0;
};

} // namespace nutstd
