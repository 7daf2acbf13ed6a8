// Precompiled for the core library and the programs: the heavy headers that most files use.
#pragma once
#include <asio.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
