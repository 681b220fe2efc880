// Identities, reference counting and queries of the interface base.
#include "rtl/ifc_object.h"
#include "rtl/interface.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using rtl::Guid;
using rtl::Ref;

class IAnimal : public rtl::IImplemented {
public:
    static constexpr Guid iid = rtl::MakeGuid("{11111111-2222-3333-4444-555555555555}");
    using Base = rtl::IImplemented;
    virtual std::string sound() = 0;
};
class IDog : public IAnimal {
public:
    static constexpr Guid iid = rtl::MakeGuid("{11111111-2222-3333-4444-666666666666}");
    using Base = IAnimal;
    virtual int legs() = 0;
};
class IPet : public rtl::IImplemented {
public:
    static constexpr Guid iid = rtl::MakeGuid("{11111111-2222-3333-4444-777777777777}");
    using Base = rtl::IImplemented;
    virtual std::string owner() = 0;
};
class IUnrelated : public rtl::IImplemented {
public:
    static constexpr Guid iid = rtl::MakeGuid("{99999999-2222-3333-4444-777777777777}");
    using Base = rtl::IImplemented;
};

namespace zoo {
class TDog : public rtl::TLTMIfcObject<IDog, IPet> {
public:
    explicit TDog(bool* destroyed) : destroyed_(destroyed) {}
    ~TDog() override { *destroyed_ = true; }
    std::string sound() override { return "woof"; }
    int legs() override { return 4; }
    std::string owner() override { return "Petrov"; }

private:
    bool* destroyed_;
};
} // namespace zoo

TEST(Guid, ParsesAndPrintsTheRegistryForm) {
    constexpr Guid g = rtl::MakeGuid("{8afc6f67-8092-49b1-b86f-f131fd9dc1e2}");
    EXPECT_EQ(g.toString(), "{8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}");
    EXPECT_EQ(g.bytes[0], 0x8A);
    EXPECT_EQ(g.bytes[15], 0xE2);
    EXPECT_EQ(Guid::parse(g.toString()), g);
    for (const char* bad :
         {"", "8AFC6F67-8092-49B1-B86F-F131FD9DC1E2", "{8AFC6F67-8092-49B1-B86F-F131FD9DC1E}",
          "{8AFC6F67-8092-49B1-B86F-F131FD9DC1EG}", "{8AFC6F67+8092-49B1-B86F-F131FD9DC1E2}"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(Guid::parse(bad), std::invalid_argument);
    }
}

TEST(Ref, EveryReferenceIsDroppedExactlyOnce) {
    bool destroyed = false;
    auto* raw = new zoo::TDog(&destroyed);
    {
        Ref<IDog> dog(raw);
        EXPECT_EQ(raw->referenceCount(), 1u);
        Ref<IDog> copy = dog;
        Ref<IDog> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(raw->referenceCount(), 2u);
        Ref<IAnimal> base = dog; // conversion to a parent interface adds one
        EXPECT_EQ(raw->referenceCount(), 3u);
        copy = moved; // assignment over an empty reference
        copy = copy;  // self-assignment keeps the count
        EXPECT_EQ(raw->referenceCount(), 4u);
        moved.reset();
        EXPECT_EQ(raw->referenceCount(), 3u);
    }
    EXPECT_TRUE(destroyed);
}

TEST(Query, AnswersEveryListedInterfaceAndItsParents) {
    bool destroyed = false;
    Ref<IDog> dog(new zoo::TDog(&destroyed));

    Ref<IAnimal> animal = rtl::Query<IAnimal>(dog);
    Ref<IPet> pet = rtl::Query<IPet>(dog);
    Ref<rtl::IImplemented> any = rtl::Query<rtl::IImplemented>(pet);
    ASSERT_TRUE(animal && pet && any);
    EXPECT_EQ(animal->sound(), "woof");
    EXPECT_EQ(pet->owner(), "Petrov");
    EXPECT_FALSE(rtl::Query<IUnrelated>(dog));
    EXPECT_FALSE(rtl::Query<IPet>(static_cast<IDog*>(nullptr)));

    // Every view leads to the one object, which names itself by its class.
    EXPECT_TRUE(rtl::SameObject(pet.get(), animal.get()));
    EXPECT_TRUE(rtl::SameObject(any.get(), dog.get()));
    EXPECT_EQ(any->toString(), "TDog");
    EXPECT_EQ(dog->implementor()->referenceCount(), 4u);

    dog.reset();
    animal.reset();
    pet.reset();
    EXPECT_FALSE(destroyed);
    any.reset();
    EXPECT_TRUE(destroyed);
}

TEST(ClassName, DropsNamespacesOfTheOuterName) {
    EXPECT_EQ(rtl::ClassName(typeid(zoo::TDog)), "TDog");
    EXPECT_EQ(rtl::ClassName(typeid(std::runtime_error)), "runtime_error");
    EXPECT_EQ(rtl::ClassName(typeid(Ref<zoo::TDog>)), "Ref<(anonymous namespace)::zoo::TDog>");
}

} // namespace
