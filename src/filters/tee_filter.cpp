// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/tee_filter.h"

#include <mutex>
#include <new>

#include "platform/seeking.h"

namespace rizuvira::filters {

namespace {

constexpr LONG kQueueBatch = 5;
constexpr LONG kQueueListSize = 5;
constexpr LONG kOutputBuffers = 5;

}  // namespace

// ---------------------------------------------------------------------------------------
// Input

CMyTeeInputPin::CMyTeeInputPin(CMyTeeFilter* filter, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Tee input", filter, lock, hr, "Input"), tee_(filter) {}

HRESULT CMyTeeInputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_YV12 ||
        type->formattype != FORMAT_VideoInfo)
        return S_FALSE;
    const VIDEOINFOHEADER* info = type->FormatAs<VIDEOINFOHEADER>();
    if (!info || info->bmiHeader.biHeight <= 0) return S_FALSE;
    return S_OK;
}

HRESULT CMyTeeInputPin::SetMediaType(const CMediaType* type) {
    CAutoLock lock(m_pLock);
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (SUCCEEDED(hr)) tee_->stream_type_ = *type;
    return S_OK;
}

HRESULT CMyTeeInputPin::Receive(IMediaSample* sample) {
    // No lock and no state or flushing check: the queues decide what to drop.
    if (tee_->output0_->IsConnected()) tee_->output0_->Deliver(sample);
    if (tee_->output1_->IsConnected()) tee_->output1_->Deliver(sample);
    return S_OK;
}

HRESULT CMyTeeInputPin::EndOfStream() {
    tee_->output0_->DeliverEndOfStream();
    tee_->output1_->DeliverEndOfStream();
    return S_OK;
}

HRESULT CMyTeeInputPin::BeginFlush() {
    tee_->output0_->DeliverBeginFlush();
    tee_->output1_->DeliverBeginFlush();
    return CBaseInputPin::BeginFlush();
}

HRESULT CMyTeeInputPin::EndFlush() {
    tee_->output0_->DeliverEndFlush();
    tee_->output1_->DeliverEndFlush();
    return CBaseInputPin::EndFlush();
}

HRESULT CMyTeeInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    tee_->output0_->DeliverNewSegment(start, stop, rate);
    tee_->output1_->DeliverNewSegment(start, stop, rate);
    return CBaseInputPin::NewSegment(start, stop, rate);
}

// ---------------------------------------------------------------------------------------
// Outputs

CMyTeeOutputPin::CMyTeeOutputPin(CMyTeeFilter* filter, CCritSec* lock, HRESULT* hr,
                                 const char* name)
    : CBaseOutputPin("Tee output", filter, lock, hr, name), tee_(filter) {}

CMyTeeOutputPin::~CMyTeeOutputPin() = default;

HRESULT CMyTeeOutputPin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CMyTeeOutputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    return tee_->stream_type_.IsValid() && tee_->stream_type_ == *type ? S_OK
                                                                       : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMyTeeOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0 || !tee_->stream_type_.IsValid()) return VFW_S_NO_MORE_ITEMS;
    *type = tee_->stream_type_;
    return S_OK;
}

HRESULT CMyTeeOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(m_mt);
    if (!header) return E_FAIL;
    request->cBuffers = kOutputBuffers;
    request->cbBuffer = static_cast<LONG>(header->biSizeImage);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CMyTeeOutputPin::Active() {
    CAutoLock lock(m_pLock);
    if (!IsConnected()) return S_OK;
    {
        std::unique_lock queue_lock(queue_mutex_);
        if (!queue_) {
            HRESULT hr = S_OK;
            std::unique_ptr<COutputQueue> queue(new (std::nothrow) COutputQueue(
                GetConnected(), &hr, false, true, kQueueBatch, false, kQueueListSize, 0, false));
            if (!queue) return E_OUTOFMEMORY;
            if (FAILED(hr)) return hr;
            queue_ = std::move(queue);
        }
    }
    return CBaseOutputPin::Active();
}

HRESULT CMyTeeOutputPin::Inactive() {
    CAutoLock lock(m_pLock);
    {
        std::unique_lock queue_lock(queue_mutex_);
        queue_.reset();  // ends the queue's thread, releasing what it still held
    }
    return CBaseOutputPin::Inactive();
}

HRESULT CMyTeeOutputPin::Deliver(IMediaSample* sample) {
    std::shared_lock queue_lock(queue_mutex_);
    if (!queue_) return S_OK;
    sample->AddRef();  // the queue owns this reference from here on
    return queue_->Receive(sample);
}

HRESULT CMyTeeOutputPin::DeliverEndOfStream() {
    std::shared_lock queue_lock(queue_mutex_);
    if (queue_) queue_->EOS();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverBeginFlush() {
    std::shared_lock queue_lock(queue_mutex_);
    if (queue_) queue_->BeginFlush();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverEndFlush() {
    std::shared_lock queue_lock(queue_mutex_);
    if (queue_) queue_->EndFlush();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    std::shared_lock queue_lock(queue_mutex_);
    if (queue_) queue_->NewSegment(start, stop, rate);
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Filter

CMyTeeFilter* CMyTeeFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
    HRESULT result = S_OK;
    auto* tee = new (std::nothrow) CMyTeeFilter(outer, &result);
    if (!tee) result = E_OUTOFMEMORY;
    if (hr) *hr = result;
    if (tee && FAILED(result)) {
        delete tee;
        return nullptr;
    }
    return tee;
}

CMyTeeFilter::CMyTeeFilter(IUnknown* outer, HRESULT* hr)
    : CBaseFilter("Tee", outer, this, CLSID_MyTee) {
    input_ = std::make_unique<CMyTeeInputPin>(this, this, hr);
    output0_ = std::make_unique<CMyTeeOutputPin>(this, this, hr, "Output0");
    output1_ = std::make_unique<CMyTeeOutputPin>(this, this, hr, "Output1");
}

CBasePin* CMyTeeFilter::GetPin(int index) {
    switch (index) {
        case 0:
            return input_.get();
        case 1:
            return output0_.get();
        case 2:
            return output1_.get();
        default:
            return nullptr;
    }
}

}  // namespace rizuvira::filters
