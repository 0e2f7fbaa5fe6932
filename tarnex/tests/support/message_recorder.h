// The tests' person at the message seam: records every message box the
// installer shows, from any thread, and answers it. The real message box
// is back once the recorder is gone.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "run/message_box.h"

namespace testfiles {

class MessageRecorder {
public:
    using Answer = std::function<int(const tarnex::MessageRequest&)>;

    // OK, and No to a question.
    MessageRecorder();
    // Always this button.
    explicit MessageRecorder(int button);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Answers from now on.
    void AnswerWith(Answer answer);
    void AnswerWith(int button);

    // The boxes shown so far, in order.
    std::vector<tarnex::MessageRequest> Shown() const;
    std::size_t Count() const;
    void Clear();

private:
    struct Record;
    std::shared_ptr<Record> record_;
};

}  // namespace testfiles
