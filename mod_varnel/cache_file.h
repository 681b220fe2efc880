// TCacheFile: the file between the link library's out-call ticket queue and the
// spool file. Spool lines are appended here before their tickets leave the
// queue and are appended to the spool in one copy; the cache is emptied only
// once that copy is complete and on disk. The spool is only ever appended to.
// Both files are held with writers shut out while open.
#pragma once

#include "platform/files.h"
#include "rtl/ifc_object.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mod_varnel {

class ECacheFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ICacheFile : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{905DABC5-D709-4722-A134-BD84EF665685}");
    using Base = rtl::IImplemented;

    virtual bool isEmpty() = 0;
    // Writes the text at the end. A write that fails leaves the file as it was
    // and raises (a short one ECacheFileException "Error on writing in temp file.").
    virtual void append(const std::string& text) = 0;
    // Appends the whole cache to the named file and then empties the cache (see
    // below).
    virtual void mergeInto(const std::string& fileName) = 0;
    // The file's length in bytes (the low 32 bits).
    virtual uint32_t size() = 0;
    // Sets the length; later writes continue at the new end.
    virtual void truncate(uint32_t length) = 0;
    // Puts what was written on disk (fsync).
    virtual void flush() = 0;
    // Appends the cache from byte `from` on to the end of `target` (opened for
    // appending), puts the target on disk, then empties the cache and puts that on
    // disk. Room for the bytes is reserved first, so a full disk usually fails the
    // merge before anything is written. A failure raises and leaves the cache as it
    // was and whatever reached the target there: the target is never cut back.
    virtual void mergeInto(platform::File& target, uint64_t from) = 0;
    // The cache's whole content.
    virtual std::string content() = 0;

protected:
    ~ICacheFile() = default;
};

class TCacheFile : public rtl::TLTMIfcObject<ICacheFile> {
public:
    // Opens the cache (created when missing) at its end. Raises platform::Error,
    // or platform::SharingViolation when another program holds it.
    explicit TCacheFile(const std::string& fileName);
    static rtl::Ref<ICacheFile> Create(const std::string& fileName);

    bool isEmpty() override;
    void append(const std::string& text) override;
    void mergeInto(const std::string& fileName) override;
    uint32_t size() override;
    void truncate(uint32_t length) override;
    void flush() override;
    void mergeInto(platform::File& target, uint64_t from) override;
    std::string content() override;

    const std::string& fileName() const { return fileName_; }

private:
    std::string fileName_;
    platform::File file_;
};

// Opens a file for appending: an existing one for reading and writing with
// other writers shut out, a missing one created and held alone (and its folder
// synced, so the new name survives a power cut); positioned at its end.
platform::File OpenForAppend(const std::string& fileName);

} // namespace mod_varnel
