// The browser tests' budgets fit together: each test's below the run's, and
// the run's below the TIMEOUT CTest gives it (first argument, in seconds), so
// a hang ends in Playwright's own report; and all of it well inside CI's 90 minutes.
// node budgets.mjs CTEST_TIMEOUT
import config from './playwright.config.mjs';

const ctest = Number(process.argv[2]) * 1000;
const { timeout, globalTimeout } = config;
const problems = [
  !(timeout > 0) && `each test needs a timeout (timeout: ${timeout})`,
  !(globalTimeout > timeout) && `the run needs a globalTimeout above each test's (globalTimeout: ${globalTimeout})`,
  !(globalTimeout + 60_000 <= ctest) && `the run's globalTimeout (${globalTimeout} ms) must end a minute before ` +
    `CTest's TIMEOUT (${ctest} ms)`,
  !(ctest <= 60 * 60_000) && `CTest's TIMEOUT (${ctest} ms) leaves too little of CI's 90 minutes`,
].filter(Boolean);
for (const problem of problems) console.error(problem);
process.exit(problems.length > 0 ? 1 : 0);
