#pragma once
// Answers the next modal window of type W that comes up: `answer` runs once, from inside
// the window's own event loop. Gives up (and makes the test fail) after `limitMs`.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace tessek::test {

template <class W>
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(W*)> answer, int limitMs = 10000) : answer_(std::move(answer))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, limitMs] {
            if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget())) {
                timer_.stop();
                answered_ = true;
                answer_(window);
            } else if ((waited_ += 5) > limitMs) {
                timer_.stop();
                ADD_FAILURE() << "no modal window came up";
                if (QWidget* other = QApplication::activeModalWidget())
                    other->close();
            }
        });
        timer_.start();
    }
    bool Answered() const { return answered_; }

private:
    std::function<void(W*)> answer_;
    QTimer timer_;
    int waited_ = 0;
    bool answered_ = false;
};

}  // namespace tessek::test
