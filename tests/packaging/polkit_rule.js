// Loads the polkit rule as polkitd does (a script calling polkit.addRule) with a stub polkit object, then asks
// each rule who may do what. Only members of the horavane group, on a local seat, get YES, and only for setting the
// time and switching automatic time synchronization; everyone else gets no answer, so polkit's defaults apply.
// Usage: node polkit_rule.js RULES_FILE
"use strict";
const fs = require("fs");

const source = fs.readFileSync(process.argv[2], "utf8");
const rules = [];
const polkit = {
    Result: {YES: "yes", NO: "no", AUTH_SELF: "auth_self", AUTH_SELF_KEEP: "auth_self_keep",
             AUTH_ADMIN: "auth_admin", AUTH_ADMIN_KEEP: "auth_admin_keep", NOT_HANDLED: null},
    addRule: (rule) => rules.push(rule),
    addAdminRule: () => { throw new Error("the rule file must not change who counts as an administrator"); },
    log: () => {},
    spawn: () => { throw new Error("the rule file must not start programs"); },
};
new Function("polkit", source)(polkit);

let failures = 0;
function check(what, actual, expected) {
    if (actual !== expected) {
        console.log(`FAIL: ${what}: ${String(actual)}, expected ${String(expected)}`);
        ++failures;
    }
}
check("rules added", rules.length, 1);

// The first rule that answers decides, as in polkitd.
function decide(actionId, subject) {
    const action = {id: actionId, lookup: () => undefined};
    for (const rule of rules) {
        const result = rule(action, subject);
        if (result !== undefined && result !== null)
            return result;
    }
    return undefined;
}

function subject(groups, local, active) {
    return {
        user: "someone", local: local, active: active, session: "c2", pid: 4242,
        groups: groups,
        isInGroup: (g) => groups.indexOf(g) >= 0,
        isInNetGroup: () => false,
    };
}

const granted = ["org.freedesktop.timedate1.set-time", "org.freedesktop.timedate1.set-ntp"];
const others = ["org.freedesktop.timedate1.set-timezone", "org.freedesktop.timedate1.set-local-rtc",
                "org.freedesktop.login1.reboot", "org.freedesktop.packagekit.package-install",
                "org.freedesktop.timedate1.set-time-extra", "org.freedesktop.timedate1"];
const people = [
    {name: "member", groups: ["users", "horavane"], member: true},
    {name: "member only of horavane", groups: ["horavane"], member: true},
    {name: "non-member", groups: ["users", "sudo"], member: false},
    {name: "member of a group with a similar name", groups: ["horavane-admins", "xhoravane"], member: false},
    {name: "no groups", groups: [], member: false},
];
let cases = 0;
for (const person of people) {
    for (const local of [true, false]) {
        for (const active of [true, false]) {
            const who = `${person.name} (local ${local}, active ${active})`;
            // A member on this computer's seat may, active or not (a timer runs while the screen is locked or
            // another user's session is in front); a remote session never gets it without a password.
            for (const id of granted) {
                check(`${who} ${id}`, decide(id, subject(person.groups, local, active)),
                      person.member && local ? "yes" : undefined);
                ++cases;
            }
            for (const id of others) {
                check(`${who} ${id}`, decide(id, subject(person.groups, local, active)), undefined);
                ++cases;
            }
        }
    }
}
if (failures) {
    console.log(`${failures} of ${cases} cases failed`);
    process.exit(1);
}
console.log(`PASS: ${cases} cases`);
