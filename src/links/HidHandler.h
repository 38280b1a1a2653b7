#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace veska {

// A handler with an identity: copies compare equal, separately made handlers do not.
// The controller passes its handlers on to devices and later replaces exactly those
// that still carry the one it gave, so handlers must be comparable.
template <class Sig>
class HidHandler;

template <class R, class... A>
class HidHandler<R(A...)> {
public:
    using Function = std::function<R(A...)>;

    HidHandler() = default;
    HidHandler(std::nullptr_t) {}
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, HidHandler> &&
                                                 !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
                                                 std::is_invocable_r_v<R, F&, A...>>>
    HidHandler(F&& f) {
        Function fn(std::forward<F>(f));
        if (fn) m_fn = std::make_shared<const Function>(std::move(fn));
    }

    explicit operator bool() const { return m_fn != nullptr; }
    R operator()(A... args) const { return (*m_fn)(std::forward<A>(args)...); }
    bool operator==(const HidHandler& other) const { return m_fn == other.m_fn; }

private:
    std::shared_ptr<const Function> m_fn;
};

}  // namespace veska
