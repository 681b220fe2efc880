#include "rtl/context.h"

#include "rtl/plugin.h"

#include <algorithm>

namespace rtl {

namespace {
class TSnapshotIterator : public TLTMIfcObject<IIterator> {
public:
    explicit TSnapshotIterator(std::vector<Ref<IImplemented>> items) : items_(std::move(items)) {}
    bool hasNext() override { return next_ < items_.size(); }
    Ref<IImplemented> next() override { return hasNext() ? items_[next_++] : Ref<IImplemented>(); }

private:
    std::vector<Ref<IImplemented>> items_;
    size_t next_ = 0;
};
} // namespace

Ref<IIterator> TContext::queryAll(const Guid& iid) {
    std::vector<Ref<IImplemented>> matches;
    for (const auto& object : objects_) {
        void* view = nullptr;
        if (object->queryInterface(iid, &view) && view)
            matches.push_back(Ref<IImplemented>::adopt(static_cast<IImplemented*>(view)));
    }
    return Ref<IIterator>(new TSnapshotIterator(std::move(matches)));
}

void TContext::registerObject(IImplemented* object) {
    if (!object)
        return;
    for (const auto& known : objects_) {
        if (SameObject(known.get(), object))
            return;
    }
    objects_.push_back(Query<IImplemented>(object));
}

void TContext::unregisterObject(IImplemented* object) {
    if (!object)
        return;
    auto it = std::find_if(objects_.begin(), objects_.end(), [&](const Ref<IImplemented>& known) {
        return SameObject(known.get(), object);
    });
    if (it == objects_.end())
        return;
    // Released after removal: the object's destructor may call back into the registry.
    Ref<IImplemented> removed = std::move(*it);
    objects_.erase(it);
}

void TContext::clear() {
    while (!objects_.empty()) {
        Ref<IImplemented> last = std::move(objects_.back());
        objects_.pop_back();
    }
}

Ref<IImplemented> TContextQuery::getAny(IContext* context, const Guid& iid) {
    Ref<IImplemented> found;
    if (!queryAny(context, iid, found))
        throw EContextError("No object supporting " + iid.toString() + " in the context");
    return found;
}

bool TContextQuery::queryAny(IContext* context, const Guid& iid, Ref<IImplemented>& out) {
    out.reset();
    if (!context)
        return false;
    Ref<IIterator> it = context->queryAll(iid);
    if (it && it->hasNext())
        out = it->next();
    return bool(out);
}

bool TContextQuery::queryName(IContext* context, const Guid& iid, const std::string& name,
                              Ref<IImplemented>& out) {
    out.reset();
    if (!context)
        return false;
    for (Ref<IIterator> it = context->queryAll(iid); it && it->hasNext();) {
        Ref<IImplemented> candidate = it->next();
        Ref<IPlugin> plugin = Query<IPlugin>(candidate);
        if (plugin && plugin->pluginName() == name) {
            out = candidate;
            return true;
        }
    }
    return false;
}

} // namespace rtl
