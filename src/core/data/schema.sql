-- The one schema script of the program. "-- @section NAME" starts a section; the build makes the system
-- store from section systemstore and the account-set template from sections accountset and basemonth.
-- The base month's rows are plain SQL that every engine takes: an account set on a server gets them too.
--
-- Conventions: money columns are declared CURRENCY and hold yuan (at most four decimals); dates are ISO
-- text YYYY-MM-DD declared DATE; yes/no columns are declared YESNO and hold -1 (yes) or 0 (no).

-- @section systemstore
CREATE TABLE appuser (
    userName VARCHAR(10) NOT NULL PRIMARY KEY,
    ppwwdd   VARCHAR(200)              -- salted hash; NULL means the empty password
);
INSERT INTO appuser (userName, ppwwdd) VALUES ('人事', NULL);
INSERT INTO appuser (userName, ppwwdd) VALUES ('生产', NULL);
INSERT INTO appuser (userName, ppwwdd) VALUES ('会计', NULL);

-- @section accountset
CREATE TABLE staff (
    staffID     INTEGER PRIMARY KEY AUTOINCREMENT,
    StaffCode   VARCHAR(10) NOT NULL UNIQUE CHECK (StaffCode <> '' AND length(StaffCode) <= 10),
    StaffName   VARCHAR(10) NOT NULL CHECK (StaffName <> '' AND length(StaffName) <= 10),
    ClassGroup  VARCHAR(20) CHECK (length(ClassGroup) <= 20),
    LevelSalary CURRENCY DEFAULT 0 CHECK (typeof(LevelSalary) IN ('integer', 'real', 'null')),
    salaryDay   SMALLINT CHECK (salaryDay IS NULL OR (salaryDay BETWEEN 1 AND 31 AND typeof(salaryDay) = 'integer')),
    Firedd      YESNO NOT NULL DEFAULT 0 CHECK (Firedd IN (0, -1)),
    A02 CURRENCY DEFAULT 0 CHECK (typeof(A02) IN ('integer', 'real', 'null')),
    A03 CURRENCY DEFAULT 0 CHECK (typeof(A03) IN ('integer', 'real', 'null')),
    A04 CURRENCY DEFAULT 0 CHECK (typeof(A04) IN ('integer', 'real', 'null')),
    A05 CURRENCY DEFAULT 0 CHECK (typeof(A05) IN ('integer', 'real', 'null')),
    A06 CURRENCY DEFAULT 0 CHECK (typeof(A06) IN ('integer', 'real', 'null')),
    A07 CURRENCY DEFAULT 0 CHECK (typeof(A07) IN ('integer', 'real', 'null')),
    A08 CURRENCY DEFAULT 0 CHECK (typeof(A08) IN ('integer', 'real', 'null'))
);

CREATE TABLE job (
    JobID       INTEGER PRIMARY KEY AUTOINCREMENT,
    JobCode     VARCHAR(30) NOT NULL UNIQUE CHECK (JobCode <> '' AND length(JobCode) <= 30),
    Description VARCHAR(120) CHECK (length(Description) <= 120),
    StyleGroup  VARCHAR(20) CHECK (length(StyleGroup) <= 20),
    UnitPrice   CURRENCY DEFAULT 0 CHECK (typeof(UnitPrice) IN ('integer', 'real', 'null')),
    stopp       YESNO NOT NULL DEFAULT 0 CHECK (stopp IN (0, -1))
);

CREATE TABLE JobData (
    dateD   DATE NOT NULL CHECK (dateD GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]'),
    staffID INTEGER NOT NULL CHECK (typeof(staffID) = 'integer'),
    jobID   INTEGER NOT NULL CHECK (typeof(jobID) = 'integer'),
    qty     INTEGER NOT NULL CHECK (typeof(qty) = 'integer')
);
-- The unique index leads with the date, so it also serves every statement that selects by date.
CREATE UNIQUE INDEX JobData_unique ON JobData (dateD, staffID, jobID, qty);
CREATE INDEX JobData_staff_date ON JobData (staffID, dateD);
CREATE INDEX JobData_job_date ON JobData (jobID, dateD);

CREATE TABLE salary (
    [year]     INTEGER NOT NULL,
    [month]    INTEGER NOT NULL CHECK ([month] BETWEEN 1 AND 12),
    ItemCode   VARCHAR(3) NOT NULL CHECK (length(ItemCode) <= 3),
    ItemName   VARCHAR(20) CHECK (length(ItemName) <= 20),
    expression VARCHAR(255) CHECK (length(expression) <= 255),
    printWidth INTEGER DEFAULT 0,
    PRIMARY KEY ([year], [month], ItemCode)
);

CREATE TABLE salaryData (
    [Year]    INTEGER NOT NULL,
    [Month]   INTEGER NOT NULL,
    salaryDay SMALLINT NOT NULL,
    staffCode VARCHAR(10) CHECK (length(staffCode) <= 10),
    staffName VARCHAR(10) CHECK (length(staffName) <= 10),
    A01 CURRENCY DEFAULT 0, A02 CURRENCY DEFAULT 0, A03 CURRENCY DEFAULT 0, A04 CURRENCY DEFAULT 0,
    A05 CURRENCY DEFAULT 0, A06 CURRENCY DEFAULT 0, A07 CURRENCY DEFAULT 0, A08 CURRENCY DEFAULT 0,
    B01 DOUBLE DEFAULT 0, B02 DOUBLE DEFAULT 0, B03 DOUBLE DEFAULT 0, B04 DOUBLE DEFAULT 0,
    B05 DOUBLE DEFAULT 0, B06 DOUBLE DEFAULT 0, B07 DOUBLE DEFAULT 0,
    C01 CURRENCY DEFAULT 0, C02 CURRENCY DEFAULT 0, C03 CURRENCY DEFAULT 0, C04 CURRENCY DEFAULT 0,
    C05 CURRENCY DEFAULT 0, C06 CURRENCY DEFAULT 0, C07 CURRENCY DEFAULT 0, C08 CURRENCY DEFAULT 0,
    C09 CURRENCY DEFAULT 0, C10 CURRENCY DEFAULT 0, C11 CURRENCY DEFAULT 0, C12 CURRENCY DEFAULT 0,
    C13 CURRENCY DEFAULT 0, C14 CURRENCY DEFAULT 0, C15 CURRENCY DEFAULT 0,
    T01 VARCHAR(50) CHECK (length(T01) <= 50), T02 VARCHAR(50) CHECK (length(T02) <= 50),
    T03 VARCHAR(50) CHECK (length(T03) <= 50), T04 VARCHAR(50) CHECK (length(T04) <= 50),
    T05 VARCHAR(50) CHECK (length(T05) <= 50)
);
-- A row of the sheet is one worker's in one batch. An older file that holds a worker twice in a batch
-- keeps its rows without the key (the index cannot be built); such rows are never edited one for both.
CREATE UNIQUE INDEX salaryData_key ON salaryData ([Year], [Month], salaryDay, staffCode);

CREATE TABLE wCodeName (
    wCode INTEGER NOT NULL DEFAULT 0,
    wName INTEGER NOT NULL DEFAULT 0
);
INSERT INTO wCodeName (wCode, wName) VALUES (12, 14);
CREATE UNIQUE INDEX wCodeName_key ON wCodeName (wCode, wName);
CREATE TRIGGER wCodeName_one_row_insert BEFORE INSERT ON wCodeName
    WHEN (SELECT count(*) FROM wCodeName) >= 1
BEGIN
    SELECT RAISE(ABORT, '工号姓名宽度表只能有一行');
END;
CREATE TRIGGER wCodeName_one_row_delete BEFORE DELETE ON wCodeName
BEGIN
    SELECT RAISE(ABORT, '工号姓名宽度表只能有一行');
END;

-- Production orders: the cut of one style (the StyleGroup of its processes) in bundles that go through
-- the line. Every bundle gets a sheet of tickets, one per process of the style; a worker who hands in
-- or scans a ticket is paid its pieces once, in the piece-work record of that day and process. A
-- ticket keeps the pieces printed on it; who scanned it (staffID), the work day (dateD) and the moment
-- (scannedAt, "YYYY-MM-DD HH:MM:SS.mmm") are empty until it is scanned.
CREATE TABLE prodOrder (
    orderID    INTEGER PRIMARY KEY AUTOINCREMENT,
    OrderCode  VARCHAR(30) NOT NULL UNIQUE CHECK (OrderCode <> '' AND length(OrderCode) <= 30),
    StyleGroup VARCHAR(20) CHECK (length(StyleGroup) <= 20),
    dateD      DATE NOT NULL CHECK (dateD GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]'),
    memo       VARCHAR(120) CHECK (length(memo) <= 120)
);

CREATE TABLE bundle (
    bundleID INTEGER PRIMARY KEY AUTOINCREMENT,
    orderID  INTEGER NOT NULL CHECK (typeof(orderID) = 'integer'),
    bundleNo INTEGER NOT NULL CHECK (typeof(bundleNo) = 'integer' AND bundleNo > 0),
    color    VARCHAR(20) CHECK (length(color) <= 20),
    size     VARCHAR(20) CHECK (length(size) <= 20),
    qty      INTEGER NOT NULL CHECK (typeof(qty) = 'integer' AND qty > 0 AND qty <= 1000000),
    UNIQUE (orderID, bundleNo)
);

CREATE TABLE bundleTicket (
    ticketID  INTEGER PRIMARY KEY AUTOINCREMENT,
    code      VARCHAR(9) UNIQUE CHECK (length(code) = 9),
    bundleID  INTEGER NOT NULL CHECK (typeof(bundleID) = 'integer'),
    jobID     INTEGER NOT NULL CHECK (typeof(jobID) = 'integer'),
    qty       INTEGER NOT NULL CHECK (typeof(qty) = 'integer' AND qty > 0),
    staffID   INTEGER CHECK (staffID IS NULL OR typeof(staffID) = 'integer'),
    dateD     DATE CHECK (dateD IS NULL OR dateD GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]'),
    scannedAt VARCHAR(23) CHECK (length(scannedAt) <= 23),
    UNIQUE (bundleID, jobID),
    CHECK ((staffID IS NULL) = (dateD IS NULL))
);
-- The tickets a worker scanned on a day, per process: the scan page's list and a record's floor.
CREATE INDEX bundleTicket_scans ON bundleTicket (dateD, staffID, jobID);

-- One row per piece-work record, joined to its worker and its process; records of a deleted worker or
-- process drop out. tmy is the record's money at the process's current piece rate: the piece rate is
-- taken in whole ten-thousandths of a yuan, so that tmy is the exact decimal amount and tmyUnits the
-- same amount as a whole number of ten-thousandths, which sums without binary residue.
CREATE VIEW qryData AS
SELECT d.dateD AS dateD, d.qty AS qty,
       d.qty * CAST(round(j.UnitPrice * 10000) AS INTEGER) / 10000.0 AS tmy,
       d.qty * CAST(round(j.UnitPrice * 10000) AS INTEGER) AS tmyUnits,
       s.staffID AS staffID, s.StaffCode AS staffCode, s.StaffName AS staffName, s.ClassGroup AS classGroup,
       s.LevelSalary AS levelSalary, s.salaryDay AS salaryDay, s.Firedd AS firedd,
       j.JobID AS jobID, j.JobCode AS jobCode, j.StyleGroup AS styleGroup, j.stopp AS stopp
FROM JobData d
JOIN staff s ON s.staffID = d.staffID
JOIN job j ON j.JobID = d.jobID;

-- The records of qryData summed per day, worker and process, with the same columns: the statistics
-- group these instead of the single records. A date condition on the view reaches JobData before the
-- join and is served by the unique index in its own order: a range is summed in one pass over the index,
-- and the join and the grouping see one row per day, worker and process rather than one per record.
-- CROSS JOIN keeps the daily sums the outer loop, so that they stream into the join instead of being
-- stored in a temporary table first; it joins exactly as JOIN does.
CREATE VIEW qryDataDay AS
SELECT x.dateD AS dateD, x.qty AS qty,
       x.qty * CAST(round(j.UnitPrice * 10000) AS INTEGER) / 10000.0 AS tmy,
       x.qty * CAST(round(j.UnitPrice * 10000) AS INTEGER) AS tmyUnits,
       s.staffID AS staffID, s.StaffCode AS staffCode, s.StaffName AS staffName, s.ClassGroup AS classGroup,
       s.LevelSalary AS levelSalary, s.salaryDay AS salaryDay, s.Firedd AS firedd,
       j.JobID AS jobID, j.JobCode AS jobCode, j.StyleGroup AS styleGroup, j.stopp AS stopp
FROM (SELECT dateD, staffID, jobID, sum(qty) AS qty FROM JobData GROUP BY dateD, staffID, jobID) x
CROSS JOIN staff s ON s.staffID = x.staffID
CROSS JOIN job j ON j.JobID = x.jobID;

-- @section basemonth
-- The base item month (2003-11): the starting item set that every new account set copies from.
-- Each formula refers only to earlier codes; the print widths with wCodeName fit an A4 slip (190 mm).
INSERT INTO salary (year, month, ItemCode, ItemName, expression, printWidth) VALUES
    (2003, 11, 'A01', '计件工资', '*********系统提供*********', 14),
    (2003, 11, 'A02', '岗位津贴', '*********系统提供*********', 12),
    (2003, 11, 'A03', NULL, NULL, 0),
    (2003, 11, 'A04', NULL, NULL, 0),
    (2003, 11, 'A05', NULL, NULL, 0),
    (2003, 11, 'A06', NULL, NULL, 0),
    (2003, 11, 'A07', NULL, NULL, 0),
    (2003, 11, 'A08', NULL, NULL, 0),
    (2003, 11, 'B01', '出勤天数', '26', 11),
    (2003, 11, 'B02', '加班小时', '0', 11),
    (2003, 11, 'B03', NULL, NULL, 0),
    (2003, 11, 'B04', NULL, NULL, 0),
    (2003, 11, 'B05', NULL, NULL, 0),
    (2003, 11, 'B06', NULL, NULL, 0),
    (2003, 11, 'B07', NULL, NULL, 0),
    (2003, 11, 'C01', '加班费', 'round(B02*8, 2)', 12),
    (2003, 11, 'C02', '全勤奖', 'iif(B01>=26, 100, 0)', 12),
    (2003, 11, 'C03', '奖金', '0', 12),
    (2003, 11, 'C04', '罚款', '0', 12),
    (2003, 11, 'C05', '应发工资', 'A01+A02+C01+C02+C03-C04', 14),
    (2003, 11, 'C06', '社保', '0', 12),
    (2003, 11, 'C07', '个税', 'iif(C05-C06>5000, round((C05-C06-5000)*0.03, 2), 0)', 12),
    (2003, 11, 'C08', '实发工资', 'C05-C06-C07', 14),
    (2003, 11, 'C09', NULL, NULL, 0),
    (2003, 11, 'C10', NULL, NULL, 0),
    (2003, 11, 'C11', NULL, NULL, 0),
    (2003, 11, 'C12', NULL, NULL, 0),
    (2003, 11, 'C13', NULL, NULL, 0),
    (2003, 11, 'C14', NULL, NULL, 0),
    (2003, 11, 'C15', NULL, NULL, 0),
    (2003, 11, 'T01', '备注', '', 16),
    (2003, 11, 'T02', NULL, NULL, 0),
    (2003, 11, 'T03', NULL, NULL, 0),
    (2003, 11, 'T04', NULL, NULL, 0),
    (2003, 11, 'T05', NULL, NULL, 0);
