// IContext, the registry of live objects that the host shares with its
// plug-ins (configuration, plug-in objects, editors), and TContextQuery, the
// lookups on it: any object supporting an interface, or the one whose
// pluginName matches.
#pragma once

#include "rtl/ifc_object.h"
#include "rtl/interface.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace rtl {

// An iterator over a snapshot of the registry: objects registered or removed
// while it is walked do not disturb it.
class IIterator : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{2B7E5F1C-6A3D-4C92-8E0B-71D4A9C3F518}");
    using Base = IImplemented;

    virtual bool hasNext() = 0;
    // The next object's view of the interface asked for (empty past the end).
    virtual Ref<IImplemented> next() = 0;

protected:
    ~IIterator() = default;
};

class IContext : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{6F3A9C21-8D4B-4E17-A5C2-93B0E7D16F4A}");
    using Base = IImplemented;

    // The registered objects supporting `iid`, in registration order; each
    // element is the object's view of that interface.
    virtual Ref<IIterator> queryAll(const Guid& iid) = 0;
    // Adds the object (once: an object already registered keeps its place).
    virtual void registerObject(IImplemented* object) = 0;
    // Removes the object, whichever view of it is given; unknown objects are ignored.
    virtual void unregisterObject(IImplemented* object) = 0;

protected:
    ~IContext() = default;
};

// The host's registry. Holds a reference to each registered object.
class TContext : public TLTMIfcObject<IContext> {
public:
    Ref<IIterator> queryAll(const Guid& iid) override;
    void registerObject(IImplemented* object) override;
    void unregisterObject(IImplemented* object) override;
    // Drops every object, last registered first.
    void clear();
    size_t size() const { return objects_.size(); }

private:
    std::vector<Ref<IImplemented>> objects_;
};

// getAny found nothing that supports the interface.
class EContextError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TContextQuery {
public:
    // The first registered object supporting `iid`; raises EContextError
    // ("No object supporting {...} in the context") when there is none.
    static Ref<IImplemented> getAny(IContext* context, const Guid& iid);
    // False (and `out` empty) when no registered object supports `iid`.
    static bool queryAny(IContext* context, const Guid& iid, Ref<IImplemented>& out);
    // The first object supporting `iid` whose IPlugin::pluginName equals `name`
    // exactly; false and `out` empty otherwise.
    static bool queryName(IContext* context, const Guid& iid, const std::string& name,
                          Ref<IImplemented>& out);

    // Typed forms: the results are already views of I.
    template <typename I> static Ref<I> getAny(IContext* context) {
        return Query<I>(getAny(context, I::iid));
    }
    template <typename I> static Ref<I> queryAny(IContext* context) {
        Ref<IImplemented> found;
        return queryAny(context, I::iid, found) ? Query<I>(found) : Ref<I>();
    }
    template <typename I> static Ref<I> queryName(IContext* context, const std::string& name) {
        Ref<IImplemented> found;
        return queryName(context, I::iid, name, found) ? Query<I>(found) : Ref<I>();
    }
    template <typename I> static std::vector<Ref<I>> all(IContext* context) {
        std::vector<Ref<I>> result;
        if (!context)
            return result;
        for (Ref<IIterator> it = context->queryAll(I::iid); it && it->hasNext();) {
            if (Ref<I> view = Query<I>(it->next()))
                result.push_back(std::move(view));
        }
        return result;
    }
};

} // namespace rtl
