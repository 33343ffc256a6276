// Byte streams behind the blob and file classes.
#pragma once

#include "BaseLib.h"

#include <cstdio>
#include <vector>

namespace Squirrel {

enum SeekOrigin { SEEK_BEGIN, SEEK_CURRENT, SEEK_END_ };

struct Stream {
    virtual ~Stream() = default;
    virtual Integer read(void* buf, Integer size) = 0;
    virtual Integer write(const void* buf, Integer size) = 0;
    virtual Integer flush() = 0;
    virtual Integer tell() = 0;
    virtual Integer len() = 0;
    virtual Integer seek(Integer offset, SeekOrigin origin) = 0;
    virtual bool eos() = 0;
    virtual bool valid() { return true; }
};

class BlobStream : public Stream {
public:
    explicit BlobStream(SharedState* ss, Integer size) : ss_(ss) {
        data_.assign(size_t(size), 0);
        size_ = size;
        account(Integer(data_.capacity()));
    }
    ~BlobStream() override { account(-Integer(data_.capacity())); }

    Integer read(void* buf, Integer n) override {
        if (n < 0) return 0;
        Integer avail = size_ - ptr_;
        if (n > avail) n = avail;
        if (n <= 0) return 0;
        std::memcpy(buf, data_.data() + ptr_, size_t(n));
        ptr_ += n;
        return n;
    }
    Integer write(const void* buf, Integer n) override {
        if (n <= 0) return 0;
        if (ptr_ + n > size_) {
            if (ptr_ + n > Integer(data_.size())) {
                Integer want = size_ + (ptr_ + n - size_);
                if (want <= size_ * 2) want = size_ * 2;
                if (!resizeBuffer(want)) return -1;
            }
            size_ = ptr_ + n;
        }
        std::memcpy(data_.data() + ptr_, buf, size_t(n));
        ptr_ += n;
        return n;
    }
    Integer flush() override { return 0; }
    Integer tell() override { return ptr_; }
    Integer len() override { return size_; }
    Integer seek(Integer offset, SeekOrigin origin) override {
        switch (origin) {
        case SEEK_BEGIN:
            if (offset > size_ || offset < 0) return -1;
            ptr_ = offset;
            break;
        case SEEK_CURRENT:
            if (ptr_ + offset > size_ || ptr_ + offset < 0) return -1;
            ptr_ += offset;
            break;
        case SEEK_END_:
            if (size_ + offset > size_ || size_ + offset < 0) return -1;
            ptr_ = size_ + offset;
            break;
        }
        return 0;
    }
    bool eos() override { return ptr_ == size_; }

    // resize(): grows the allocation only; shrinking truncates the data.
    bool resizeBuffer(Integer n) {
        if (n < 0) return false;
        if (ss_->overBudget(size_t(n))) return false;
        account(-Integer(data_.capacity()));
        data_.resize(size_t(n), 0);
        data_.shrink_to_fit();
        account(Integer(data_.capacity()));
        if (size_ > n) size_ = n;
        if (ptr_ > size_) ptr_ = size_;
        return true;
    }
    unsigned char* data() { return data_.data(); }
    Integer size() const { return size_; }

private:
    void account(Integer delta) {
        if (delta >= 0)
            ss_->bytesAllocated += size_t(delta);
        else
            ss_->bytesAllocated -= size_t(-delta);
    }
    SharedState* ss_;
    std::vector<unsigned char> data_;
    Integer size_ = 0;
    Integer ptr_ = 0;
};

class FileStream : public Stream {
public:
    FileStream(FILE* f, bool owns) : f_(f), owns_(owns) {}
    ~FileStream() override { close(); }
    void close() {
        if (f_ && owns_) std::fclose(f_);
        f_ = nullptr;
    }
    Integer read(void* buf, Integer n) override { return f_ ? Integer(std::fread(buf, 1, size_t(n), f_)) : 0; }
    Integer write(const void* buf, Integer n) override { return f_ ? Integer(std::fwrite(buf, 1, size_t(n), f_)) : -1; }
    Integer flush() override { return f_ ? std::fflush(f_) : -1; }
    Integer tell() override { return f_ ? Integer(std::ftell(f_)) : -1; }
    Integer len() override {
        if (!f_) return 0;
        long cur = std::ftell(f_);
        if (cur < 0) return 0;
        std::fseek(f_, 0, SEEK_END);
        long size = std::ftell(f_);
        std::fseek(f_, cur, SEEK_SET);
        return size;
    }
    Integer seek(Integer offset, SeekOrigin origin) override {
        if (!f_) return -1;
        int o = origin == SEEK_BEGIN ? SEEK_SET : origin == SEEK_CURRENT ? SEEK_CUR : SEEK_END;
        return std::fseek(f_, long(offset), o);
    }
    bool eos() override { return !f_ || std::feof(f_) != 0; }
    bool valid() override { return f_ != nullptr; }

private:
    FILE* f_;
    bool owns_;
};

extern const int kBlobTag;
extern const int kFileTag;

// The stream behind `this` of a stream method, or null (an error is set).
Stream* streamOf(HVM vm);
BlobStream* blobOf(HVM vm, Integer idx);
void registerStreamMethods(HVM vm, Table* cls);
Value blobClass(HVM vm);
Value newBlobInstance(HVM vm, Integer size, BlobStream** out);

}  // namespace Squirrel
