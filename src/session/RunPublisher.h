#pragma once

#include <QString>

#include <chrono>

namespace veska {

// What the run of a session needs of a publisher that sends its readings elsewhere (the
// MQTT publisher): start, stop with a drain, and why it could not start.
class RunPublisher {
public:
    virtual ~RunPublisher() = default;
    virtual bool start() = 0;
    virtual void stop(std::chrono::milliseconds drainTimeout) = 0;
    virtual QString errorText() const = 0;
};

}  // namespace veska
