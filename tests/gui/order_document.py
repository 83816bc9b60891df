"""An order document for a fixture folder: "c" header records of 280 and "p" item records of
145 Windows-1250 bytes, each field at its position (counted from 1)."""


def _place(record, position, text):
    data = text.encode("cp1250")
    record[position - 1:position - 1 + len(data)] = data


def header(czak, nazd, ico="", jmeno="Jan", prijmeni="Novák", email="jan@example.cz"):
    r = bytearray(b"c" + b" " * 279)
    for pos, text in ((3, czak.rjust(10)), (13, "2024-05-17"), (33, jmeno), (53, prijmeni),
                      (83, nazd), (113, "Dlouhá 5"), (143, "Plzeň"), (163, "301 00"),
                      (169, "CZ"), (172, "+420 777 12345"), (187, email), (217, ico),
                      (237, "CZ99887766")):
        _place(r, pos, text)
    return bytes(r)


def item(czak, cipo, nazev="Zboží z e-shopu", cenb="10.50", kusy="3"):
    r = bytearray(b"p" + b" " * 144)
    for pos, text in ((3, czak.rjust(10)), (13, cipo), (29, nazev), (79, "Výrobce"),
                      (109, cenb), (122, "12.71"), (135, "21"), (139, kusy)):
        _place(r, pos, text)
    return bytes(r)


def fixture_orders():
    """Four orders against small-mixed-bin-s1: one with a good item, an item without a card
    (made on request) and one without a number; one already in ZAK; one without items; and
    one of a new partner."""
    records = [
        header("5001", "Firma podle IČO", "27719111"),
        item("5001", "MAT-000010/T", "Kabel z e-shopu"),
        item("5001", "NENI-KARTA", "Šroubovák křížový PH2 s izolovanou rukojetí"),
        item("5001", "", "Bez čísla"),
        header("2023000001", "Už je v ZAK"),
        item("2023000001", "MAT-000010/T"),
        header("5002", "Bez položek"),
        header("5004", "", jmeno="Žofie", prijmeni="Čermáková", email="zofie@example.cz"),
        item("5004", "ZB-000022/F", "Lopata", "3.33", "2"),
    ]
    return b"".join(r + b"\r\n" for r in records)
