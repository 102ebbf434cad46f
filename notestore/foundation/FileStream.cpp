#include "notestore/foundation/FileStream.h"

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/StreamBuffer.h"
#include "notestore/foundation/zr_assert.h"

#include <vector>

namespace zr_gen {

CBaseObject::~CBaseObject() = default;

CFileStream::CFileStream() = default;

CFileStream::CFileStream(CFile* file) : file_(file) { ZR_ASSERT(file != nullptr); }

// A copy borrows the file: only the stream that opened it closes it.
CFileStream::CFileStream(const CFileStream& other) : file_(other.file_) {}

CFileStream& CFileStream::operator=(const CFileStream& other) {
    if (this != &other) {
        Close();
        file_ = other.file_;
        ownsFile_ = false;
    }
    return *this;
}

CFileStream::~CFileStream() {
    buffer_.reset();
    if (ownsFile_ && file_ != nullptr) {
        file_->Close();
        delete file_;
        file_ = nullptr;
    }
}

int32_t CFileStream::Open(const char16_t* path, uint32_t openFlags) {
    Close();
    return OpenOwned(NewObject<CFile>(), path, openFlags);
}

int32_t CFileStream::OpenOwned(CFile* file, const char16_t* path, uint32_t openFlags) {
    // Not the virtual Close: a subclass ends its own business before.
    CFileStream::Close();
    file_ = file;
    if (file_ == nullptr) {
        ZR_ASSERT(false);
        ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    }
    ownsFile_ = true;
    return file_->Open(path, openFlags);
}

void CFileStream::Close() {
    buffer_.reset();
    if (file_ != nullptr && IsOpen()) file_->Close();
    if (ownsFile_ && file_ != nullptr) delete Detach();
}

void CFileStream::Attach(CFile* file) {
    ZR_ASSERT(file != nullptr);
    buffer_.reset();
    file_ = file;
    ownsFile_ = false;
}

CFile* CFileStream::Detach() {
    ZR_ASSERT(file_ != nullptr);
    buffer_.reset();
    CFile* file = file_;
    file_ = nullptr;
    return file;
}

bool CFileStream::IsOpen() const { return file_ != nullptr && file_->IsOpen(); }

void CFileStream::AssertAttached() const { ZR_ASSERT(file_ != nullptr); }

void CFileStream::AssertOpen() const { ZR_ASSERT(IsOpen()); }

// Operations on a missing file are reported and then go ahead regardless on
// the device; here they stop at the report, since there is nothing to forward to.
uint32_t CFileStream::Read(void* buffer, uint32_t count) {
    AssertAttached();
    if (buffer_) return buffer_->Read(buffer, count);
    return file_ != nullptr ? file_->Read(buffer, count) : 0;
}

uint32_t CFileStream::Write(const void* buffer, uint32_t count) {
    AssertAttached();
    if (buffer_) return buffer_->Write(buffer, count);
    return file_ != nullptr ? file_->Write(buffer, count) : 0;
}

int32_t CFileStream::Seek(int32_t offset, uint32_t origin) {
    AssertAttached();
    if (buffer_) return buffer_->Seek(offset, origin);
    return file_ != nullptr ? file_->Seek(offset, origin) : -1;
}

void CFileStream::SeekToBegin() {
    AssertOpen();
    if (buffer_) {
        buffer_->Seek(0, 0);
    } else if (file_ != nullptr) {
        file_->Seek(0, 0);
    }
}

int32_t CFileStream::SeekToEnd() {
    AssertOpen();
    if (buffer_) return buffer_->Seek(0, 2);
    return file_ != nullptr ? file_->Seek(0, 2) : -1;
}

uint32_t CFileStream::GetPosition() const {
    AssertOpen();
    if (buffer_) return buffer_->GetPosition();
    return file_ != nullptr ? file_->GetPosition() : 0;
}

void CFileStream::Flush() {
    AssertOpen();
    if (buffer_) buffer_->Flush();
    if (file_ != nullptr) file_->Flush();
}

void CFileStream::SetLength(uint32_t length) {
    AssertOpen();
    if (buffer_) {
        buffer_->SetLength(length);
    } else if (file_ != nullptr) {
        file_->SetLength(length);
    }
}

uint32_t CFileStream::GetLength() const {
    AssertOpen();
    if (buffer_) return buffer_->GetLength();
    return file_ != nullptr ? file_->GetLength() : 0;
}

void CFileStream::RequireInFile(uint64_t position, uint64_t count) const {
    if (position + count > GetLength()) ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
}

uint32_t CFileStream::GetFileHandle() const {
    ZR_ASSERT(ownsFile_);
    return file_ != nullptr ? file_->GetFileHandle() : 0xFFFFFFFFu;
}

void CFileStream::BeginBuffering() {
    AssertOpen();
    if (file_ != nullptr && buffer_ == nullptr) buffer_ = std::make_unique<StreamBuffer>(*file_);
}

void CFileStream::EndBuffering() {
    if (buffer_ == nullptr) return;
    std::unique_ptr<StreamBuffer> buffer = std::move(buffer_);
    buffer->Flush();
}

void CFileStream::AbandonBuffering() { buffer_.reset(); }

void CFileStream::WriteUnsigned(uint64_t value, uint32_t bytes) {
    uint8_t encoded[8];
    StoreLE64(encoded, value);
    Write(encoded, bytes);
}

uint64_t CFileStream::ReadUnsigned(uint64_t current, uint32_t bytes) {
    uint8_t encoded[8];
    StoreLE64(encoded, current);
    Read(encoded, bytes);
    const uint64_t value = LoadLE64(encoded);
    return bytes == 8 ? value : value & ((uint64_t{1} << (8 * bytes)) - 1);
}

CFileStream& CFileStream::operator<<(bool value) {
    WriteUnsigned(value ? 1 : 0, 1);
    return *this;
}
CFileStream& CFileStream::operator<<(char value) {
    WriteUnsigned(static_cast<unsigned char>(value), 1);
    return *this;
}
CFileStream& CFileStream::operator<<(unsigned char value) {
    WriteUnsigned(value, 1);
    return *this;
}
CFileStream& CFileStream::operator<<(int16_t value) {
    WriteUnsigned(static_cast<uint16_t>(value), 2);
    return *this;
}
CFileStream& CFileStream::operator<<(uint16_t value) {
    WriteUnsigned(value, 2);
    return *this;
}
CFileStream& CFileStream::operator<<(int32_t value) {
    WriteUnsigned(static_cast<uint32_t>(value), 4);
    return *this;
}
CFileStream& CFileStream::operator<<(uint32_t value) {
    WriteUnsigned(value, 4);
    return *this;
}
CFileStream& CFileStream::operator<<(float value) {
    WriteUnsigned(FloatBits(value), 4);
    return *this;
}
CFileStream& CFileStream::operator<<(double value) {
    WriteUnsigned(DoubleBits(value), 8);
    return *this;
}
CFileStream& CFileStream::operator<<(long double value) { return *this << static_cast<double>(value); }
CFileStream& CFileStream::operator<<(const void* value) {
    WriteUnsigned(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value)), 4);
    return *this;
}

CFileStream& CFileStream::operator>>(bool& value) {
    value = ReadUnsigned(value ? 1 : 0, 1) != 0;
    return *this;
}
CFileStream& CFileStream::operator>>(char& value) {
    value = static_cast<char>(ReadUnsigned(static_cast<unsigned char>(value), 1));
    return *this;
}
CFileStream& CFileStream::operator>>(unsigned char& value) {
    value = static_cast<unsigned char>(ReadUnsigned(value, 1));
    return *this;
}
CFileStream& CFileStream::operator>>(int16_t& value) {
    value = static_cast<int16_t>(ReadUnsigned(static_cast<uint16_t>(value), 2));
    return *this;
}
CFileStream& CFileStream::operator>>(uint16_t& value) {
    value = static_cast<uint16_t>(ReadUnsigned(value, 2));
    return *this;
}
CFileStream& CFileStream::operator>>(int32_t& value) {
    value = static_cast<int32_t>(ReadUnsigned(static_cast<uint32_t>(value), 4));
    return *this;
}
CFileStream& CFileStream::operator>>(uint32_t& value) {
    value = static_cast<uint32_t>(ReadUnsigned(value, 4));
    return *this;
}
CFileStream& CFileStream::operator>>(float& value) {
    value = FloatFromBits(static_cast<uint32_t>(ReadUnsigned(FloatBits(value), 4)));
    return *this;
}
CFileStream& CFileStream::operator>>(double& value) {
    value = DoubleFromBits(ReadUnsigned(DoubleBits(value), 8));
    return *this;
}
CFileStream& CFileStream::operator>>(long double& value) {
    double narrow = static_cast<double>(value);
    *this >> narrow;
    value = narrow;
    return *this;
}
CFileStream& CFileStream::operator>>(void*& value) {
    const auto number = static_cast<uint32_t>(ReadUnsigned(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value)), 4));
    value = reinterpret_cast<void*>(static_cast<uintptr_t>(number));
    return *this;
}

CFileStream& operator<<(CFileStream& stream, _String& text) {
    const auto count = static_cast<uint32_t>(text.size());
    stream << kStringMarker << count;
    if (count == 0) return stream;
    std::vector<uint8_t> units(2 * static_cast<size_t>(count));
    for (uint32_t i = 0; i < count; ++i) StoreLE16(&units[2 * i], text[i]);
    stream.Write(units.data(), 2 * count);
    return stream;
}

CFileStream& operator>>(CFileStream& stream, _String&) {
    ZR_ASSERT(false);
    return stream;
}

CFileStream& operator<<(CFileStream& stream, CBaseObject& object) {
    object.Write(stream);
    return stream;
}

CFileStream& operator>>(CFileStream& stream, CBaseObject& object) {
    object.Read(stream);
    return stream;
}

}  // namespace zr_gen
