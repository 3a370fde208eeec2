// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace rizuvira::platform {

CFileStream::~CFileStream() {
    Close();
}

HRESULT CFileStream::Open(const std::string& path) {
    CAutoLock lock(&lock_);
    Close();
    // Without O_NONBLOCK, opening a named pipe waits for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return E_FAIL;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return E_FAIL;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    size_ = info.st_size;
    position_ = 0;
    return S_OK;
}

void CFileStream::Close() {
    CAutoLock lock(&lock_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    position_ = 0;
}

HRESULT CFileStream::MoveToByte(LONGLONG position) {
    CAutoLock lock(&lock_);
    if (fd_ < 0) return E_UNEXPECTED;
    if (position < 0) return E_INVALIDARG;
    position_ = position;
    return S_OK;
}

HRESULT CFileStream::ReadBytes(BYTE* destination, DWORD count, DWORD* actual) {
    if (!actual) return E_POINTER;
    *actual = 0;
    CAutoLock lock(&lock_);
    if (fd_ < 0) return E_UNEXPECTED;
    while (*actual < count) {
        const ssize_t got =
            ::pread(fd_, destination + *actual, count - *actual, static_cast<off_t>(position_));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        *actual += static_cast<DWORD>(got);
        position_ += got;
    }
    return *actual > 0 || count == 0 ? S_OK : E_FAIL;
}

LONGLONG CFileStream::TotalSize(LONGLONG* available) {
    const LONGLONG size = size_.load();
    if (available) *available = size;
    return size;
}

CAsyncFileSource::CAsyncFileSource(IUnknown* outer, HRESULT* hr)
    : CAsyncReader("File source", outer, &stream_, hr, CLSID_AsyncFileSource) {}

CAsyncFileSource::~CAsyncFileSource() = default;

HRESULT CAsyncFileSource::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IFileSourceFilter::iid)
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    return CAsyncReader::NonDelegatingQueryInterface(riid, object);
}

HRESULT CAsyncFileSource::Load(const std::string& file_name, const AM_MEDIA_TYPE* type) {
    CAutoLock lock(&m_csFilter);
    if (!IsStopped() || m_OutputPin.IsConnected()) return VFW_E_WRONG_STATE;
    const HRESULT hr = stream_.Open(file_name);
    if (FAILED(hr)) {
        file_name_.clear();
        return hr;
    }
    file_name_ = file_name;
    m_mt.InitMediaType();
    m_mt.SetType(&MEDIATYPE_Stream);
    m_mt.SetSubtype(type ? &type->subtype : &MEDIASUBTYPE_NULL);
    return S_OK;
}

HRESULT CAsyncFileSource::GetCurFile(std::string* file_name, CMediaType* type) {
    if (!file_name) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *file_name = file_name_;
    if (type) type->Set(m_mt);
    return S_OK;
}

}  // namespace rizuvira::platform
