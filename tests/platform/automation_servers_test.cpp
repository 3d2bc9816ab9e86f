#include "platform/automation_servers.h"

#include <gtest/gtest.h>

#include "common/errors.h"

namespace {

TEST(AutomationServers, OnlyRegisteredServersThatStartCanBeCreated)
{
    EXPECT_FALSE(CanCreateAutomationObject("Outlook.Application.14")) << "no Outlook outside the tests";
    EXPECT_THROW(CreateAutomationObject("Outlook.Application.14"), AgentError);

    RegisterAutomationServer("Outlook.Application.14", [] { return std::make_unique<AutomationObject>(); });
    RegisterAutomationServer("Outlook.Application.12", []() -> std::unique_ptr<AutomationObject> {
        throw std::runtime_error("server crashed");
    });
    EXPECT_TRUE(CanCreateAutomationObject("outlook.application.14")) << "ProgIDs compare without case";
    EXPECT_NE(CreateAutomationObject("Outlook.Application.14"), nullptr);
    EXPECT_FALSE(CanCreateAutomationObject("Outlook.Application.12"));
    EXPECT_THROW(CreateAutomationObject("Outlook.Application.12"), std::runtime_error);

    UnregisterAutomationServer("OUTLOOK.APPLICATION.14");
    EXPECT_FALSE(CanCreateAutomationObject("Outlook.Application.14"));
    UnregisterAllAutomationServers();
    EXPECT_FALSE(CanCreateAutomationObject("Outlook.Application.12"));
}

}  // namespace
