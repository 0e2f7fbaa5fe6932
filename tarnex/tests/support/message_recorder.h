// The tests' person at the message seam: records every question the
// installer asks, from any thread, and answers it. The answerer it replaced
// is back once the recorder is gone.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "services/message_box.h"
#include "ui/replace_dialog.h"

namespace testfiles {

class MessageRecorder {
public:
    using Answer = std::function<int(const tarnex::MessageRequest&)>;

    // OK, No to a question, and skip to the replace dialog.
    MessageRecorder();
    // Always this button.
    explicit MessageRecorder(int button);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Answers from now on.
    void AnswerWith(Answer answer);
    void AnswerWith(int button);

    // The questions asked so far, in order.
    std::vector<tarnex::MessageRequest> Shown() const;
    std::size_t Count() const;
    void Clear();

private:
    struct Record;
    std::shared_ptr<Record> record_;
    tarnex::MessageAnswerer previous_;
};

// Answers the replace dialog while it lives and passes every other question
// on to the answerer it replaced (OK or No when there is none).
class ReplaceAnswerer {
public:
    using Answer = std::function<int(const tarnex::ReplaceQuestion&)>;

    explicit ReplaceAnswerer(Answer answer);
    ~ReplaceAnswerer();
    ReplaceAnswerer(const ReplaceAnswerer&) = delete;
    ReplaceAnswerer& operator=(const ReplaceAnswerer&) = delete;

private:
    tarnex::MessageAnswerer previous_;
};

}  // namespace testfiles
