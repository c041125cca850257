#pragma once
// A device operation bound with no or one argument, run on each chosen device, with the result
// kept by device. The player channel's volume actions are of this kind: the same action runs on
// many loudspeakers at once, from the threads of a worker pool.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace frm {

class IAction {
public:
    using Device = std::shared_ptr<device::DeviceBase>;

    virtual ~IAction() = default;
    // Runs the operation on the device and keeps its result; a device of another class is
    // skipped. Safe to call from several threads at once.
    virtual void run(const Device& device) = 0;
    // The devices on which the operation threw or, for a yes/no operation, answered no.
    virtual std::vector<Device> getFailed() const = 0;
};

// The results of one operation by device; nullopt where it threw.
template <class Result>
class ActionResults : public IAction {
public:
    std::map<Device, std::optional<Result>> getResults() const {
        std::lock_guard<std::mutex> guard(lock_);
        return results_;
    }
    std::vector<Device> getFailed() const override {
        std::vector<Device> failed;
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& [device, result] : results_) {
            bool refused = !result;
            if constexpr (std::is_same_v<Result, bool>) refused = refused || !*result;
            if (refused) failed.push_back(device);
        }
        return failed;
    }

protected:
    template <class Typed, class Call>
    void runOn(const Device& device, Call&& call) {
        const auto typed = std::dynamic_pointer_cast<Typed>(device);
        if (!typed) return;
        std::optional<Result> result;
        try {
            result = call(*typed);
        } catch (const std::exception& error) {
            debug::Place("frm::IAction::run")
                .debug(L"The action failed on '%1%': %2%", device->getHardwareAddress().toCharArray(),
                       exception::textOf(error));
        }
        std::lock_guard<std::mutex> guard(lock_);
        results_[device] = result;
    }

private:
    mutable std::mutex lock_;
    std::map<Device, std::optional<Result>> results_;
};

// Any call on a device of `Typed`: an operation with more than one argument.
template <class Typed, class Result>
class ActionCall : public ActionResults<Result> {
public:
    using Call = std::function<Result(Typed&)>;
    explicit ActionCall(Call call) : call_(std::move(call)) {}
    void run(const IAction::Device& device) override { this->template runOn<Typed>(device, call_); }

private:
    const Call call_;
};

// A member operation of `Typed` without arguments.
template <class Typed, class Result>
class ActionArg0 : public ActionResults<Result> {
public:
    using Member = Result (Typed::*)();
    explicit ActionArg0(Member member) : member_(member) {}
    void run(const IAction::Device& device) override {
        this->template runOn<Typed>(device, [this](Typed& target) { return (target.*member_)(); });
    }

private:
    const Member member_;
};

// A member operation of `Typed` with one argument, bound at construction.
template <class Typed, class Result, class Argument>
class ActionArg1 : public ActionResults<Result> {
public:
    using Member = Result (Typed::*)(Argument);
    ActionArg1(Member member, Argument argument) : member_(member), argument_(argument) {}
    void run(const IAction::Device& device) override {
        this->template runOn<Typed>(device, [this](Typed& target) { return (target.*member_)(argument_); });
    }

private:
    const Member member_;
    const std::decay_t<Argument> argument_;
};

}  // namespace frm
