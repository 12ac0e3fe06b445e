// The version of the demo and its tools, shown by their --version.
#pragma once

constexpr char kDemoVersion[] = "1.0";
