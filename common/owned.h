// An owner for an object whose type its holder need not know in full: the release is fixed
// where the object is made, where the type is complete. The saver contract holds the run's
// textures and data file this way, below the modules that define them.
#pragma once

#include <memory>
#include <utility>

template <class T> struct Release {
    void (*release)(T*) = nullptr;
    void operator()(T* object) const { release(object); }
};

template <class T> using Owned = std::unique_ptr<T, Release<T>>;

template <class T, class... Args> Owned<T> makeOwned(Args&&... args) {
    return Owned<T>(new T(std::forward<Args>(args)...),
                    Release<T>{[](T* object) { delete object; }});
}
