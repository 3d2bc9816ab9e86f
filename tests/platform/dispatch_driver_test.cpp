#include "platform/dispatch_driver.h"

#include <gtest/gtest.h>

#include "support/outlook/outlook_emulation.h"

namespace {

// An object that answers every call with one planted result, and counts the calls.
class Scripted : public AutomationObject {
public:
    InvokeResult answer;
    int calls = 0;
    InvokeResult Invoke(DispId, InvokeKind, const std::vector<VariantValue>&) override
    {
        ++calls;
        return answer;
    }
};

TEST(DispatchDriver, AnEmptyDriverCallsNothingRaisesNothingAndLeavesTheResult)
{
    const DispatchDriver empty;
    VariantValue result = VariantValue::I4(7);
    EXPECT_FALSE(empty.InvokeHelper(0x37, InvokeKind::PropertyGet, VariantType::BStr, result));
    EXPECT_EQ(result, VariantValue::I4(7));
    EXPECT_EQ(empty.GetText(0x37), "");
    EXPECT_EQ(empty.GetI4(0x50), 0);
    EXPECT_TRUE(empty.GetObject(0x3100).IsEmpty());
    EXPECT_NO_THROW(empty.PutDate(0x820D, 40000.0));
    EXPECT_NO_THROW(empty.CallMethod(0xF04A));
}

TEST(DispatchDriver, ResultsConvertAsThePlatformDoes)
{
    auto object = std::make_shared<Scripted>();
    const DispatchDriver driver(object);

    object->answer.result = VariantValue::Bool(true);  // -1 on the wire
    EXPECT_EQ(driver.GetBool(0x8223), 1);
    object->answer.result = VariantValue::Bool(false);
    EXPECT_EQ(driver.GetBool(0x8223), 0);

    object->answer.result = VariantValue::I4(1234);
    EXPECT_EQ(driver.GetText(0x8534), "1234") << "a number read as text arrives as its text form";
    object->answer.result = VariantValue::Date(40344.5);
    EXPECT_EQ(driver.GetDate(0x820D), 40344.5) << "dates pass without conversion";
    object->answer.result = VariantValue::R8(2.5);
    EXPECT_EQ(driver.GetI4(0x50), 2) << "halves round to even";

    object->answer.result = VariantValue::Text(QStringLiteral("not a number"));
    try {
        driver.GetI4(0x50);
        FAIL() << "a result that does not convert must raise";
    } catch (const COleException& e) {
        EXPECT_EQ(e.status(), com_status::kTypeMismatch);
    }
}

TEST(DispatchDriver, OutlookErrorsAndOtherFailuresRaiseTheirOwnExceptions)
{
    auto object = std::make_shared<Scripted>();
    const DispatchDriver driver(object);

    object->answer.status = com_status::kException;
    object->answer.exception = {static_cast<std::int32_t>(0x8004010F), "Microsoft Outlook", "Not found", "help.chm", 12};
    try {
        driver.GetText(0xF01E);
        FAIL();
    } catch (const COleDispatchException& e) {
        EXPECT_EQ(e.code(), static_cast<std::int32_t>(0x8004010F));
        EXPECT_EQ(e.source(), "Microsoft Outlook");
        EXPECT_EQ(e.description(), "Not found");
        EXPECT_EQ(e.helpFile(), "help.chm");
        EXPECT_EQ(e.helpContext(), 12u);
        EXPECT_NE(std::string(e.what()).find("Not found"), std::string::npos);
    }

    object->answer.status = com_status::kDisconnected;
    try {
        driver.CallMethod(0xF048);
        FAIL();
    } catch (const COleException& e) {
        EXPECT_EQ(e.status(), com_status::kDisconnected);
        EXPECT_NE(std::string(e.what()).find("0x80010108"), std::string::npos);
    }
    EXPECT_EQ(object->calls, 2);
}

TEST(DispatchDriver, CreationByProgIdAnswersFalseAndNeverThrows)
{
    DispatchDriver driver;
    EXPECT_FALSE(driver.CreateDispatch(QStringLiteral("Outlook.Application.14")));
    RegisterAutomationServer(QStringLiteral("Broken.Server"), []() -> std::shared_ptr<AutomationObject> {
        throw std::runtime_error("crashed");
    });
    EXPECT_FALSE(driver.CreateDispatch(QStringLiteral("Broken.Server")));
    EXPECT_TRUE(driver.IsEmpty());
    UnregisterAutomationServer(QStringLiteral("Broken.Server"));
}

TEST(DispatchDriver, EveryDriverHoldsOneReferenceUntilItIsReleased)
{
    OutlookEmulation outlook;
    outlook.Register();
    {
        DispatchDriver application;
        ASSERT_TRUE(application.CreateDispatch(QStringLiteral("Outlook.Application")));
        EXPECT_EQ(outlook.LiveObjects(), 1);
        DispatchDriver nameSpace = application.CallObject(0x110, {VariantValue::Text(QStringLiteral("MAPI"))});
        EXPECT_EQ(outlook.LiveObjects(), 2);

        DispatchDriver copy = nameSpace;  // a second reference to the same object
        nameSpace.ReleaseDispatch();
        EXPECT_EQ(outlook.LiveObjects(), 2);
        copy = application;  // assignment lets the namespace go
        EXPECT_EQ(outlook.LiveObjects(), 1);
        // A driver assigned its own call's result keeps the object alive through the call.
        copy = copy.CallObject(0x110, {VariantValue::Text(QStringLiteral("MAPI"))});
        EXPECT_EQ(outlook.LiveObjects(), 2);
        copy.ReleaseDispatch();
        EXPECT_EQ(outlook.LiveObjects(), 1);
    }
    EXPECT_EQ(outlook.LiveObjects(), 0);
    EXPECT_EQ(outlook.Creations(QStringLiteral("Outlook.Application")), 1);
}

}  // namespace
