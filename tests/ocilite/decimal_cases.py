"""Prints cases of NUMBER arithmetic with the results Python's decimal
module gives under the server's rules, one a line: OP|A|B|EXPECTED
(B is "-" for a function of one argument; A of sum and avg is the list of
values added, separated by ";"). EXPECTED is a number or ORA-nnnnn.

The rules: arguments and results keep 40 significant digits, rounded half
away from zero; a result of 1E+126 or more in magnitude is ORA-01426, one
below 1E-130 is 0. The cases are random (a fixed seed) and chosen edges:
carries of 9s, a 5 in the 41st digit, both signs, the ends of the range.
"""
import random
from decimal import (Context, Decimal, ROUND_CEILING, ROUND_DOWN, ROUND_FLOOR, ROUND_HALF_UP, DivisionByZero, InvalidOperation, Overflow,
                     Underflow)

WIDE = Context(prec=1000, Emax=999999, Emin=-999999, traps=[InvalidOperation, DivisionByZero])
NUMBER = Context(prec=40, rounding=ROUND_HALF_UP, Emax=999999, Emin=-999999)
# Digits enough that the 41st decides the rounding to 40 (the rest cut).
CUT = Context(prec=100, rounding=ROUND_DOWN, Emax=999999, Emin=-999999)
# Functions that are no rational operation, correctly rounded to 90.
FINE = Context(prec=90, Emax=999999, Emin=-999999, traps=[Overflow, Underflow, InvalidOperation])

TOP = Decimal("1E126")
BOTTOM = Decimal("1E-130")
rnd = random.Random(20240601)


def number(x):
    if isinstance(x, str):
        return x
    q = NUMBER.plus(x)
    if q.copy_abs() >= TOP:
        return "ORA-01426"
    if q == 0 or q.copy_abs() < BOTTOM:
        return "0"
    return str(q.normalize(NUMBER))


def text(digits, exponent, negative=False):
    """0.digits x 10^exponent."""
    return "%s0.%sE%d" % ("-" if negative else "", digits, exponent)


def random_digits(n=None):
    n = n or rnd.choice([1, 2, 3, 5, 10, 15, 17, 20, 25, 38, 39, 40, 40, 40])
    kind = rnd.random()
    if kind < 0.1:
        body = "9" * n  # carries all the way up
    elif kind < 0.2:
        body = "".join(rnd.choice("09") for _ in range(n))
    else:
        body = "".join(rnd.choice("0123456789") for _ in range(n))
    body = str(rnd.randint(1, 9)) + body[1:]
    return body.rstrip("0") or "1"


def random_number(low=-129, high=126, negative=None):
    neg = rnd.random() < 0.5 if negative is None else negative
    return text(random_digits(), rnd.randint(low, high), neg)


def D(s):
    """An argument as the server takes it: a NUMBER."""
    v = number(Decimal(s))
    if v.startswith("ORA-"):
        raise ValueError("no NUMBER: " + s)
    return Decimal(v)


cases = []


def case(op, a, b, expected):
    cases.append("%s|%s|%s|%s" % (op, a, b, expected))


def binary(op, a, b):
    x, y = D(a), D(b)
    if op == "add":
        return number(WIDE.add(x, y))
    if op == "sub":
        return number(WIDE.subtract(x, y))
    if op == "mul":
        return number(WIDE.multiply(x, y))
    if op == "div":
        return "ORA-01476" if y == 0 else number(CUT.divide(x, y))
    if op == "mod":
        return number(x) if y == 0 else number(WIDE.remainder(x, y))
    if op == "remainder":
        return "ORA-01476" if y == 0 else number(WIDE.remainder_near(x, y))
    if op in ("round", "trunc"):
        places = int(y)
        mode = ROUND_HALF_UP if op == "round" else ROUND_DOWN
        return number(x.quantize(Decimal(1).scaleb(-places), rounding=mode, context=WIDE))
    if op == "power":
        if x == 0:
            return "ORA-01476" if y < 0 else ("1" if y == 0 else "0")
        if y == 0:
            return "1"
        if x < 0 and y != y.to_integral_value():
            return "ORA-01428"
        try:
            return number(FINE.power(x, y))
        except Overflow:
            return "ORA-01426"
        except Underflow:
            return "0"
    if op == "log":
        if x <= 0 or x == 1 or y <= 0:
            return "ORA-01428"
        return number(FINE.divide(FINE.ln(y), FINE.ln(x)))
    raise ValueError(op)


def unary(op, a):
    x = D(a)
    if op == "sqrt":
        return "ORA-01428" if x < 0 else number(FINE.sqrt(x))
    if op == "exp":
        if x > 300:
            return "ORA-01426"
        if x < -310:
            return "0"
        return number(FINE.exp(x))
    if op == "ln":
        return "ORA-01428" if x <= 0 else number(FINE.ln(x))
    if op == "ceil":
        return number(x.to_integral_value(rounding=ROUND_CEILING, context=WIDE))
    if op == "floor":
        return number(x.to_integral_value(rounding=ROUND_FLOOR, context=WIDE))
    raise ValueError(op)


def add_binary(op, a, b):
    case(op, a, b, binary(op, a, b))


def add_unary(op, a):
    case(op, a, "-", unary(op, a))


# + - * / over the whole range, near magnitudes (cancellations) and far.
for op in ("add", "sub", "mul", "div"):
    for _ in range(120):
        add_binary(op, random_number(), random_number())
    for _ in range(60):
        e = rnd.randint(-120, 120)
        add_binary(op, random_number(e - 2, e + 2), random_number(e - 2, e + 2))
    for _ in range(30):
        e = rnd.randint(-100, 80)
        add_binary(op, random_number(e, e), random_number(e - 45, e - 38))
# A 5 in the 41st digit, exactly and past it; nines that carry.
for digits in ("1234567890123456789012345678901234567891", "9" * 40, "1" + "0" * 38 + "1"):
    for e in (1, 40, -85, 125):
        for tail in ("5", "49", "51", "500000000001"):
            add_binary("add", text(digits, e), text(tail, e - 40))
            add_binary("sub", text(digits, e, True), text(tail, e - 40))
for op, a, b in (
        ("sub", "1E-130", "1E-171"), ("add", "-1E-130", "1E-171"), ("sub", "2E-130", "1E-130"),
        ("sub", "1.5E-130", "1E-130"),
        # Below 1E-130 before the rounding, not after it.
        ("mul", "0.999999999999999999999E-64", "1.000000000000000000001E-66"),
        ("mul", "0.99999999999999999999E-64", "1.00000000000000000001E-66"),
        ("add", text("9" * 40, 126), text("5", 86)), ("add", text("9" * 40, 126), text("4", 86)),
        ("mul", "1E+63", "1E+63"), ("mul", "1E+62", "9.999999999999999999999999999999999999999E+62"),
        ("mul", "1E-65", "1E-65"), ("mul", "1E-65", "1E-66"),
        ("div", "1", "3"), ("div", "2", "3"), ("div", "1", "0"), ("div", "0", "7"), ("div", "1E-100", "1E+40"),
        ("div", "1E+100", "1E-40"), ("div", "9" * 40, "9" * 39), ("div", "1" + "0" * 39, "3")):
    add_binary(op, a, b)

# MOD and REMAINDER: both signs, ties, a divisor of 0, far magnitudes.
for op in ("mod", "remainder"):
    for _ in range(80):
        add_binary(op, random_number(-60, 60), random_number(-60, 60))
    for _ in range(20):
        add_binary(op, str(rnd.randint(-10 ** 20, 10 ** 20)), str(rnd.randint(1, 1000) * rnd.choice([1, -1])))
    for m, n in (("9007199254740993", "7"), ("-11", "4"), ("11", "-4"), ("5", "2"), ("7", "2"), ("-5", "2"),
                 ("15", "6"), ("-15", "6"), ("10.5", "3"), ("-10.5", "3"), ("1E+125", "3E-130"), ("7", "0"),
                 ("0", "5"), ("1.5", "1"), ("2.5", "1"), ("-2.5", "1")):
        add_binary(op, m, n)

# ROUND and TRUNC to places on both sides of the point.
for op in ("round", "trunc"):
    for _ in range(80):
        add_binary(op, random_number(-40, 60), str(rnd.randint(-60, 60)))
    for n, p in (("2.5", "0"), ("-2.5", "0"), ("1250", "-2"), ("-1250", "-2"), ("1249.9", "-2"), ("0.5", "0"),
                 ("-0.5", "0"), ("0.05", "0"), ("999.5", "0"), ("9.9999", "3"), ("15", "-2"), ("-15", "-2"),
                 ("49", "-2"), ("50", "-2"), ("123.456", "-5"), (text("9" * 40, 126), "-126"),
                 (text("9" * 40, 126), "-125"), ("1.23456789", "200"), ("1E-130", "130"), ("1E-130", "129")):
        add_binary(op, n, p)
for op in ("ceil", "floor"):
    for _ in range(30):
        add_unary(op, random_number(-10, 45))
    for n in ("2.5", "-2.5", "0.001", "-0.001", "5", "-5", "1E-130", "-1E-130", "9.99", "-9.99", "0"):
        add_unary(op, n)

# SQRT, EXP, LN, LOG and POWER.
for _ in range(80):
    add_unary("sqrt", random_number(negative=False))
for n in ("4", "2", "0.01", "1E-130", "1E+125", "0", "-1", "-1E-100", "9" * 40):
    add_unary("sqrt", n)
for _ in range(60):
    add_unary("exp", random_number(-2, 2))
for _ in range(20):
    add_unary("exp", random_number(-40, 0))
for n in ("0", "1", "-1", "290", "290.1", "290.2", "-299", "-299.4", "-300", "400", "-400", "1E-50"):
    add_unary("exp", n)
for _ in range(80):
    add_unary("ln", random_number(negative=False))
for n in ("1", "2", "10", "0.5", "1.0000000001", "0.9999999999", text("1" + "0" * 38 + "1", 1),
          text("9" * 40, 0), "0", "-1", "1E-130", "9.99E+125"):
    add_unary("ln", n)
for _ in range(40):
    add_binary("log", random_number(-5, 5, False), random_number(negative=False))
for b, n in (("10", "1000"), ("2", "8"), ("2", "1024"), ("10", "1E-100"), ("1", "10"), ("0", "10"), ("-2", "8"),
             ("10", "0"), ("10", "-1"), ("0.5", "4")):
    add_binary("log", b, n)
for _ in range(60):
    add_binary("power", random_number(-3, 3), str(rnd.randint(-30, 30)))
for _ in range(40):
    add_binary("power", random_number(-3, 3, False), random_number(-1, 2))
for m, n in (("2", "10"), ("2", "-1"), ("-2", "3"), ("-2", "-3"), ("10", "125"), ("10", "126"), ("10", "-130"),
             ("10", "-131"), ("0.1", "130"), ("-8", ".5"), ("-8", "-1.5"), ("0", "0"), ("0", "-1"), ("0", "2"),
             ("4", ".5"), ("1.0000000001", "12345678901"), ("0.9999999999", "-98765432109"), ("-1", "1E+30"),
             ("-1", "12345678901234567890123"), ("1.1", "100"), (text("9" * 40, 1), "40"),
             ("3", "0.5"), ("2", "200"), ("0.5", "500"), ("7", "1E+100"), ("7", "-1E+100")):
    add_binary("power", m, n)

# Sums and averages, exact until the one rounding at the end.
sum_lists = [
    ["0.1", "0.2"],
    ["9223372036854775807", "1"],
    ["9223372036854775807", "9223372036854775807", "9223372036854775807"],
    ["12345678901234567890.1", "23456789012345678901.2", "34567890123456789012.3"],
    ["1E+125", "1E-130"],
    ["1E+125", "1E-130", "-1E+125"],
    [text("9" * 40, 126), text("9" * 40, 126)],
    ["1", "2"],
    ["1", "1", "1"],
    ["-5"],
]
for _ in range(40):
    e = rnd.randint(-60, 60)
    sum_lists.append([random_number(e - 30, e + 5) for _ in range(rnd.randint(2, 30))])
for values in sum_lists:
    total = Decimal(0)
    for v in values:
        total = WIDE.add(total, D(v))
    case("sum", ";".join(values), "-", number(total))
    case("avg", ";".join(values), "-", number(CUT.divide(total, Decimal(len(values)))))

print("\n".join(cases))
