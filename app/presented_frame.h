// app/presented_frame.h: what the frame last presented held (its draw data and clear colour, as
// bytes), so the frame loop can leave out a frame that would put the same picture on screen
// again. GUI thread; owns the copy.
#pragma once
#include <cstdint>
#include <vector>

struct ImDrawData;

class PresentedFrame {
public:
    // Whether the frame must be rendered and presented: when `forced` (the back buffer was resized
    // or the window uncovered), when nothing was presented since the last Forget, or when its draw
    // data (vertices, indices, commands, clip rectangles, textures, display position, size and
    // framebuffer scale) or clear colour differ from those of the frame last answered true for.
    // A true answer remembers this frame.
    [[nodiscard]] bool ShouldPresent(const ImDrawData& drawData, const float clear[4], bool forced);
    // The next frame is presented whatever it holds (the last one may not have reached the screen).
    void Forget();

private:
    std::vector<uint8_t> m_last;  // the frame last presented, in the encoding of the .cpp
    std::vector<uint8_t> m_next;  // the frame being asked about; its capacity is reused
    bool m_known = false;         // m_last holds a presented frame
};
