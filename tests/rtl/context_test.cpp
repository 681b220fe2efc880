// The registry of live objects and its lookups.
#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/plugin.h"

#include <gtest/gtest.h>

namespace {

using rtl::Ref;
using rtl::TContextQuery;

class IAdapterLike : public rtl::IPlugin {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{0A0A0A0A-1B1B-2C2C-3D3D-4E4E4E4E4E4E}");
    using Base = rtl::IPlugin;
};

class TNamedAdapter : public rtl::TPlugin<IAdapterLike> {
public:
    explicit TNamedAdapter(const std::string& name) {
        setName(name);
        setDescription("adapter " + name);
        setVersion(101);
    }
};

class TPlainPlugin : public rtl::TPlugin<> {
public:
    explicit TPlainPlugin(const std::string& name) { setName(name); }
};

class ContextTest : public testing::Test {
protected:
    Ref<rtl::TContext> context{new rtl::TContext};
    Ref<IAdapterLike> first{new TNamedAdapter("mod_varnel")};
    Ref<IAdapterLike> second{new TNamedAdapter("mod_tellum")};
    Ref<rtl::IPlugin> plain{new TPlainPlugin("mod_quorvin")};

    std::vector<std::string> names(const rtl::Guid& iid) {
        std::vector<std::string> result;
        for (auto it = context->queryAll(iid); it->hasNext();)
            result.push_back(rtl::Query<rtl::IPlugin>(it->next())->pluginName());
        return result;
    }
};

TEST_F(ContextTest, QueryAllKeepsRegistrationOrderAndFiltersByInterface) {
    context->registerObject(first.get());
    context->registerObject(plain.get());
    context->registerObject(second.get());
    context->registerObject(rtl::Query<rtl::IPlugin>(first).get()); // another view: no second entry

    EXPECT_EQ(names(rtl::IPlugin::iid),
              (std::vector<std::string>{"mod_varnel", "mod_quorvin", "mod_tellum"}));
    EXPECT_EQ(names(IAdapterLike::iid), (std::vector<std::string>{"mod_varnel", "mod_tellum"}));
    EXPECT_EQ(TContextQuery::all<IAdapterLike>(context.get()).size(), 2u);

    // An iterator walks the registry as it was when asked.
    auto it = context->queryAll(IAdapterLike::iid);
    context->unregisterObject(rtl::Query<rtl::IPlugin>(second).get());
    context->unregisterObject(plain.get());
    int seen = 0;
    while (it->hasNext()) {
        EXPECT_TRUE(it->next());
        ++seen;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_FALSE(it->next());
    EXPECT_EQ(names(rtl::IPlugin::iid), std::vector<std::string>{"mod_varnel"});
}

TEST_F(ContextTest, QueryNameFindsOnlyTheInterfaceAndNameAskedFor) {
    context->registerObject(plain.get());
    context->registerObject(first.get());
    context->registerObject(second.get());

    auto found = TContextQuery::queryName<IAdapterLike>(context.get(), "mod_tellum");
    EXPECT_EQ(found.get(), second.get());
    // mod_quorvin is registered but is no adapter; names are compared exactly.
    EXPECT_FALSE(TContextQuery::queryName<IAdapterLike>(context.get(), "mod_quorvin"));
    EXPECT_FALSE(TContextQuery::queryName<IAdapterLike>(context.get(), "MOD_TELLUM"));
    EXPECT_FALSE(TContextQuery::queryName<IAdapterLike>(context.get(), ""));
    EXPECT_TRUE(TContextQuery::queryName<rtl::IPlugin>(context.get(), "mod_quorvin"));

    Ref<rtl::IImplemented> out(rtl::Query<rtl::IImplemented>(first));
    EXPECT_FALSE(TContextQuery::queryName(context.get(), IAdapterLike::iid, "none", out));
    EXPECT_FALSE(out); // the out value is emptied on failure
    EXPECT_FALSE(TContextQuery::queryName<IAdapterLike>(nullptr, "mod_tellum"));
}

TEST_F(ContextTest, GetAnyRaisesWhereQueryAnyAnswersFalse) {
    EXPECT_FALSE(TContextQuery::queryAny<rtl::IConfiguration>(context.get()));
    try {
        TContextQuery::getAny<rtl::IConfiguration>(context.get());
        ADD_FAILURE() << "no error";
    } catch (const rtl::EContextError& e) {
        EXPECT_STREQ(e.what(),
                     "No object supporting {03ACD41C-9617-48DF-9011-594D413AF582} in the context");
    }
    Ref<rtl::IConfiguration> config(new rtl::TConfiguration);
    context->registerObject(config.get());
    EXPECT_EQ(TContextQuery::getAny<rtl::IConfiguration>(context.get()).get(), config.get());
}

TEST_F(ContextTest, HoldsOneReferenceWhileRegistered) {
    auto* object = first->implementor();
    EXPECT_EQ(object->referenceCount(), 1u);
    context->registerObject(first.get());
    context->registerObject(first.get());
    EXPECT_EQ(object->referenceCount(), 2u);
    context->unregisterObject(first.get());
    context->unregisterObject(first.get()); // unknown by now: ignored
    EXPECT_EQ(object->referenceCount(), 1u);
    context->registerObject(first.get());
    context->clear();
    EXPECT_EQ(object->referenceCount(), 1u);
}

} // namespace
