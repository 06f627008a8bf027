#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>

// A single-slot event: one handler or none. Unlike a Qt signal it can be read,
// replaced and put back, and two events compare equal when they call the same
// member on the same object, which is what "remove the entry with the same
// callback and context" needs.
template <typename... Args>
class TEvent {
public:
    TEvent() = default;

    // A target that is a QObject is watched: once it is destroyed the event
    // calls nothing.
    template <class T>
    TEvent(T* target, void (T::*member)(Args...))
        : m_call(bind(target, member))
        , m_target(target)
    {
        static_assert(sizeof(member) <= sizeof(m_member), "member pointer too large");
        std::memcpy(m_member.data(), &member, sizeof(member));
    }

    // A handler without a member function, e.g. a lambda; each such event is
    // equal only to its own copies.
    static TEvent fromFunction(std::function<void(Args...)> fn)
    {
        TEvent e;
        e.m_call = std::move(fn);
        e.m_identity = std::make_shared<char>(0);
        return e;
    }

    explicit operator bool() const { return static_cast<bool>(m_call); }

    void operator()(Args... args) const
    {
        if (m_call)
            m_call(args...);
    }

    bool operator==(const TEvent& other) const
    {
        if (!m_call || !other.m_call)
            return !m_call && !other.m_call;
        return m_target == other.m_target && m_member == other.m_member
            && m_identity == other.m_identity;
    }

    const void* target() const { return m_target; }

private:
    template <class T>
    static std::function<void(Args...)> bind(T* target, void (T::*member)(Args...))
    {
        if constexpr (std::is_base_of_v<QObject, T>) {
            return [watched = QPointer<T>(target), member](Args... args) {
                if (T* object = watched.data())
                    (object->*member)(args...);
            };
        } else {
            return [target, member](Args... args) { (target->*member)(args...); };
        }
    }

    std::function<void(Args...)> m_call;
    const void* m_target = nullptr;
    std::array<char, 2 * sizeof(void*)> m_member {};
    std::shared_ptr<char> m_identity;
};

using TObject = QObject;

// The common event: the sending object as its one argument.
using TNotifyEvent = TEvent<TObject*>;
