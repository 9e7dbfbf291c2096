#pragma once
// The program names itself to the operator's servers: the engine's user agent with
// " Orvane/<version>" at its end, for this process only (nothing is stored), so that pages and
// server logs can tell this client and its version apart.
#include <string>

// The engine's current agent (ObtainUserAgentString) with " Orvane/<version>" after it, unless
// it already ends so (this process set it before). ASCII: the engine's string and a version
// made of digits and dots.
std::string OrvaneUserAgent(const std::wstring& version);

// Sets OrvaneUserAgent(this executable's version) as the agent of every request the engine
// makes in this process; called before the first browser is made. Calling it again changes
// nothing. False (traced) when the engine refused it: requests then carry its own agent.
bool SetProcessUserAgent();
