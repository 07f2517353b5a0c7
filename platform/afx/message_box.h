// The message-box seam: every AfxMessageBox, CWnd::MessageBox and ::MessageBoxA goes through one
// provider. The default shows a real modal box (text, OK button, no icon); a test installs one
// that records the text and answers at once.
#pragma once

#include "platform/win32/windows.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::afx {

// Returns the button id the box ended with (IDOK for an OK box).
using MessageBoxProvider = std::function<int(const std::string& text, const std::string& caption, UINT type)>;

// An empty provider restores the default. Returns the previous one. UI thread only.
MessageBoxProvider set_message_box_provider(MessageBoxProvider provider);

// Installs a provider for its lifetime and puts the previous one back afterwards.
class ScopedMessageBoxProvider {
public:
    explicit ScopedMessageBoxProvider(MessageBoxProvider provider);
    ~ScopedMessageBoxProvider();
    ScopedMessageBoxProvider(const ScopedMessageBoxProvider&) = delete;
    ScopedMessageBoxProvider& operator=(const ScopedMessageBoxProvider&) = delete;

private:
    MessageBoxProvider m_previous;
};

// The usual test provider: records each text in order and answers `answer`.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK);
    const std::vector<std::string>& texts() const { return m_texts; }
    const std::vector<std::string>& captions() const { return m_captions; }
    void clear()
    {
        m_texts.clear();
        m_captions.clear();
    }

private:
    std::vector<std::string> m_texts;
    std::vector<std::string> m_captions;
    ScopedMessageBoxProvider m_installed;
};

}  // namespace platform::afx
