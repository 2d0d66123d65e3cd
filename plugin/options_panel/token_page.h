#pragma once
// The page "Get Token" opens: the service's form for a new app, filled in
// from the plug-in's app manifest (plugin/options_panel/slack-app-manifest.json).
#include <string>

namespace pingwell {

// The service's page of the workspace's apps; the form for a new app is
// this address with the manifest in its query.
inline constexpr const char* kAppsPage = "https://api.slack.com/apps";

// kAppsPage + "?new_app=1&manifest_json=" + the manifest's compact JSON,
// percent-encoded: the new-app form with the app's name, its bot user and
// the bot token's four scopes filled in. Empty when the address cannot be
// made (out of memory). Never throws.
std::string tokenPageAddress() noexcept;

}  // namespace pingwell
