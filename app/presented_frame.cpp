#include "app/presented_frame.h"

#include <cstring>

#include "imgui.h"

// The frame is compared whole, byte for byte, with a copy of the last one presented rather than
// by a hash: a collision would leave a changed picture off the screen until the next change. The
// copy is a few hundred kilobytes at most and is compared ten times a second while idle, which
// costs a small fraction of what rendering one frame in software costs.

namespace {

void PutBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
    if (size == 0) return;
    const size_t at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, data, size);
}

template <typename T>
void Put(std::vector<uint8_t>& out, const T& value) {
    PutBytes(out, &value, sizeof(T));
}

// Every variable-length part is preceded by its count, so two different frames never encode to
// the same bytes. Commands go field by field: the record's padding is no part of the picture.
void Encode(const ImDrawData& data, const float clear[4], std::vector<uint8_t>& out) {
    out.clear();
    PutBytes(out, clear, 4 * sizeof(float));
    Put(out, data.DisplayPos);
    Put(out, data.DisplaySize);
    Put(out, data.FramebufferScale);
    Put(out, data.CmdLists.Size);
    for (const ImDrawList* list : data.CmdLists) {
        Put(out, list->VtxBuffer.Size);
        PutBytes(out, list->VtxBuffer.Data, size_t(list->VtxBuffer.Size) * sizeof(ImDrawVert));
        Put(out, list->IdxBuffer.Size);
        PutBytes(out, list->IdxBuffer.Data, size_t(list->IdxBuffer.Size) * sizeof(ImDrawIdx));
        Put(out, list->CmdBuffer.Size);
        for (const ImDrawCmd& cmd : list->CmdBuffer) {
            Put(out, cmd.ClipRect);
            Put(out, cmd.TextureId);
            Put(out, cmd.VtxOffset);
            Put(out, cmd.IdxOffset);
            Put(out, cmd.ElemCount);
            Put(out, cmd.UserCallback);
            Put(out, cmd.UserCallbackData);
        }
    }
}

}  // namespace

bool PresentedFrame::ShouldPresent(const ImDrawData& drawData, const float clear[4], bool forced) {
    Encode(drawData, clear, m_next);
    const bool same = m_known && m_next.size() == m_last.size() &&
                      std::memcmp(m_next.data(), m_last.data(), m_next.size()) == 0;
    if (same && !forced) return false;
    m_last.swap(m_next);
    m_known = true;
    return true;
}

void PresentedFrame::Forget() { m_known = false; }
