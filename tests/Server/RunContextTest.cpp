// What the process reports about itself: its user agent and the report of an escaped exception.
#include "ExceptionReport.h"
#include "UserAgent.h"

#include "Engine/Context.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/utsname.h>

TEST(RunContext, UserAgentHasTwoBlanksBeforeThePlatform) {
    Tessera3D::Context context;
    BuildUserAgent(context);
    struct utsname name = {};
    uname(&name);
    EXPECT_EQ(context.GetUserAgent(),
              std::string("Tessera3D/1.2.0  (") + name.sysname + " " + name.machine + ") CorvidServer/1.7.1");
}

TEST(RunContext, ExceptionReportNamesTypeAndMessage) {
    EXPECT_EQ(FormatExceptionReport(std::runtime_error("disk on fire")),
              "An unhandled exception of type 'std::runtime_error' occurred\n\nAdditional information: disk on fire");
    struct Quiet : std::exception {
        const char* what() const noexcept override { return ""; }
    };
    EXPECT_EQ(FormatExceptionReport(Quiet()).rfind("An unhandled exception of type '", 0), 0u);
    EXPECT_EQ(FormatExceptionReport(Quiet()).find("Additional information"), std::string::npos);
}
