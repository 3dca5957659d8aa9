// A platform function or object that the library reaches through one pointer, so that a test
// can put a stand-in in its place: the platform's copy, the restart scheduler, the message pump
// between lines, the network connector, the drive mask, the subkey count and the source of the
// main window.
//
// The library reads Get(). Nothing but OverrideForTesting changes what a seam holds, and an
// override ends with its scope, so no test can leave a stand-in behind for the next one.
//
// A seam is a constant-initialised static object (its constructor is constexpr and it has no
// destructor of its own): nothing runs when a module that holds one loads or unloads.
#pragma once

template <typename T> class OverrideForTesting;

template <typename T> class Seam {
public:
    using Value = T;

    constexpr explicit Seam(T platform) : m_platform(platform), m_current(platform) {}
    Seam(const Seam&) = delete;
    Seam& operator=(const Seam&) = delete;

    T Get() const { return m_current; }

private:
    friend class OverrideForTesting<T>;

    const T m_platform;
    T m_current;
};

// Puts `replacement` in the seam's place for the lifetime of the override; null puts the
// platform's own there. At its end the override puts back what the seam held when it began (the
// platform's own unless overrides are nested), so overrides of one seam must end in the reverse
// order of their beginnings, as scopes do.
template <typename T> class OverrideForTesting {
public:
    OverrideForTesting(Seam<T>& seam, typename Seam<T>::Value replacement)
        : m_seam(seam), m_previous(seam.m_current) {
        seam.m_current = replacement ? replacement : seam.m_platform;
    }
    ~OverrideForTesting() { m_seam.m_current = m_previous; }
    OverrideForTesting(const OverrideForTesting&) = delete;
    OverrideForTesting& operator=(const OverrideForTesting&) = delete;

private:
    Seam<T>& m_seam;
    T m_previous;
};
