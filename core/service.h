#pragma once

// A slot of the program state for an outside service that a higher layer
// defines (message boxes, the clock, the shell, the upload worker ...). The
// state names the service by a role of its own (a tag declared here); the
// layer that defines the service's class says which class fills the role,
// beside that class:
//
//     template<> struct ServiceType<DialogsService> { using type = runtime::Dialogs; };
//
// So the bottom layer names no type above it, and every use of a slot is as
// strictly typed as a pointer to the service's class: the slot takes and
// gives only that class, and a use without the class's header does not
// compile.

#include <cstddef>
#include <type_traits>

namespace framla {

/// Which class fills a service role: specialised by the layer that defines
/// the class, in the class's own header.
template<typename Role> struct ServiceType;

/// The service roles the program state holds.
struct DialogsService;
struct ClockService;
struct ShellService;
struct UploadsService;
struct MainPresSpaceService;

/// A pointer to the service that fills Role, or none. Behaves as a pointer
/// to that service's class: assigned from one, compared with nullptr,
/// dereferenced, converted to one.
template<typename Role> class ServiceSlot {
public:
    // R is Role: the check waits until the slot is used, when the class is known.
    template<
        typename U, typename R = Role,
        typename = std::enable_if_t<std::is_convertible_v<U *, typename ServiceType<R>::type *>>>
    ServiceSlot &operator=(U *service)
    {
        m_service = static_cast<typename ServiceType<Role>::type *>(service);
        return *this;
    }
    ServiceSlot &operator=(std::nullptr_t)
    {
        m_service = nullptr;
        return *this;
    }

    /// The service, or null.
    auto get() const { return static_cast<typename ServiceType<Role>::type *>(m_service); }
    auto operator->() const { return get(); }
    auto &operator*() const { return *get(); }
    explicit operator bool() const { return m_service != nullptr; }
    template<
        typename U, typename R = Role,
        typename = std::enable_if_t<std::is_convertible_v<typename ServiceType<R>::type *, U *>>>
    operator U *() const
    {
        return get();
    }

    friend bool operator==(const ServiceSlot &slot, std::nullptr_t)
    {
        return slot.m_service == nullptr;
    }
    friend bool operator==(const ServiceSlot &, const ServiceSlot &) = default;

private:
    // Always the address of the service as its class gives it: get() turns it back.
    void *m_service = nullptr;
};

} // namespace framla
