// The C# binding end to end under Mono: a category database and an outline
// document written through the P/Invoke declarations, read back, and damaged
// files that come back as NotestoreException without ending the process.
// Usage: mono BindingTest.exe FOLDER (a fresh folder for the files).
using System;
using System.IO;
using System.Runtime.InteropServices;
using Notestore;

static class BindingTest
{
    static int passed, failed;
    static string folder;

    static void Expect(bool condition, string what)
    {
        if (condition) { passed++; return; }
        failed++;
        Console.WriteLine("FAIL: " + what);
    }

    static void Completed(string operation)
    {
        var failure = NotestoreException.FromLastRecord(operation);
        Expect(failure == null, operation + " completed" + (failure == null ? "" : ": " + failure.Message));
    }

    static string PathOf(string name) { return Path.Combine(folder, name); }

    static void Layouts()
    {
        Expect(Marshal.SizeOf(typeof(LogFont)) == 28 + 64, "LogFont is 92 bytes");
        Expect(Marshal.SizeOf(typeof(WindowPlacement)) == 44, "WindowPlacement is 44 bytes");
        Expect(Marshal.SizeOf(typeof(CategoryIterator)) == 2 * IntPtr.Size, "CategoryIterator is two words");
        Expect(Marshal.OffsetOf(typeof(LogFont), "FaceName").ToInt32() == 28, "the face name follows the metrics");
    }

    static string[] CategoryNames(CategoryDbHandle db)
    {
        var names = new System.Collections.Generic.List<string>();
        var buffer = new char[256];
        for (int slot = 0; slot < NativeMethods.OL_GetCategoryRecordSize(db); slot++)
        {
            NativeMethods.OL_GetIterCategoryName(db, buffer, (uint)slot);
            string name = Text.FromBuffer(buffer);
            if (name.Length > 0) names.Add(name);
        }
        return names.ToArray();
    }

    static void Categories()
    {
        string path = PathOf("categories.db");
        // Characters beyond ASCII show that text crosses as UTF-16, not as bytes.
        string[] added = { "Travel", "Work", "Ünïcodé" };
        using (var db = NativeMethods.OL_CreateCategoryDB())
        {
            Expect(NativeMethods.OL_OpenCategoryFile(db, path, OpenMode.CategoryCreate) == 1, "category file made");
            NativeMethods.OL_CategoryInitNewDataBase(db);
            foreach (string name in added)
                Expect(NativeMethods.OL_AddNewCategorybyName(db, name) != IntPtr.Zero, "added " + name);
            NativeMethods.OL_WriteAllCategoryHeaders(db);
            NativeMethods.OL_CategoryWriteRows(db);
            Completed("OL_CategoryWriteRows");
        }
        using (var db = NativeMethods.OL_CreateCategoryDB())
        {
            Expect(NativeMethods.OL_OpenCategoryFile(db, path, OpenMode.CategoryReadWrite) == 1, "category file reopened");
            NativeMethods.OL_CategoryReadRows(db);
            Completed("OL_CategoryReadRows");
            string[] names = CategoryNames(db);
            foreach (string name in added)
                Expect(Array.IndexOf(names, name) >= 0, "read back " + name);
            IntPtr work = NativeMethods.OL_FindCategorybyName(db, "Work");
            uint id = NativeMethods.OL_GetCategoryID(db, work);
            NativeMethods.OL_RenameCategory(db, "Work", "Office");
            Expect(NativeMethods.OL_FindCategorybyName(db, "Work") == IntPtr.Zero, "the old name is gone");
            IntPtr office = NativeMethods.OL_FindCategorybyName(db, "Office");
            Expect(office == work && NativeMethods.OL_GetCategoryID(db, office) == id, "rename keeps record and id");
            NativeMethods.OL_DeleteCategorybyName(db, "Travel");
            Expect(NativeMethods.OL_FindCategorybyName(db, "Travel") == IntPtr.Zero, "deleted");
            int max = NativeMethods.OL_GetMaxCategoryAmount();
            int fillers = 0;
            while (NativeMethods.OL_isFull(db) == 0 && fillers < max)
                Expect(NativeMethods.OL_AddNewCategorybyName(db, "Filler " + fillers++) != IntPtr.Zero, "filler " + fillers);
            Expect(NativeMethods.OL_isFull(db) != 0 && fillers < max, "full at " + max);
            Expect(NativeMethods.OL_AddNewCategorybyName(db, "One too many") == IntPtr.Zero, "a full database refuses");
            CategoryIterator first = NativeMethods.OL_GetIterator(db);
            Expect(first.Position < (uint)NativeMethods.OL_GetCategoryRecordSize(db), "the iterator is on a category");
        }
    }

    static readonly string[] Items = { "Trip", "Pack the tent", "Zürich, Genève" };

    static void WriteDocument(string path)
    {
        using (var db = NativeMethods.OL_CreateOutlineDB())
        {
            Expect(NativeMethods.OL_Open(db, path, OpenMode.Create | OpenMode.ReadWrite) == 1, "document made");
            NativeMethods.OL_InitNewDataBase(db);
            NativeMethods.OL_SetOutlineTitle(db, "Summer trip à deux");
            NativeMethods.OL_SetCategoryName(db, "Travel");
            NativeMethods.OL_SetPrivate(db, true);
            NativeMethods.OL_SetOutlineFont(db, "Sans Serif", 14, 700, 0, 1, 0);
            var placement = new WindowPlacement { Length = 44, ShowCmd = 1, Left = 10, Top = 20, Right = 300, Bottom = 400 };
            NativeMethods.OL_SetOultineWindowPos(db, ref placement);
            NativeMethods.OL_setNumbering(db, new byte[] { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 });
            for (int i = 0; i < Items.Length - 1; i++)
            {
                IntPtr record = NativeMethods.OL_AppendRecordSet(db);
                NativeMethods.OL_SetText(record, Items[i]);
                NativeMethods.OL_SetIndent(record, (uint)i);
                NativeMethods.OL_SetChecked(record, i == 1);
            }
            // The last item is made apart and handed to the document.
            using (OutlineRecordHandle own = NativeMethods.OL_CreateDBRecord(db))
            {
                NativeMethods.OL_SetText(own.DangerousGetHandle(), Items[Items.Length - 1]);
                NativeMethods.OL_SetNote(own.DangerousGetHandle(), "a note");
                NativeMethods.OL_SetIndent(own.DangerousGetHandle(), 1);
                NativeMethods.OL_AddtoRS(db, own);
                own.HandOver();
            }
            NativeMethods.OL_WriteAllHeaders(db);
            NativeMethods.OL_WriteRows(db);
            Completed("OL_WriteRows");
        }
    }

    static void Documents()
    {
        string path = PathOf("trip.zro");
        WriteDocument(path);
        using (var db = NativeMethods.OL_CreateOutlineDB())
        {
            Expect(NativeMethods.OL_Open(db, path, OpenMode.Read) == 1, "document reopened");
            Expect(NativeMethods.OL_ReadSharedHeader(db) && NativeMethods.OL_ReadPrivateHeader(db), "headers read");
            NativeMethods.OL_ReadRows(db);
            Completed("OL_ReadRows");
            var buffer = new char[Limits.OutlineTitleMax + 1];
            int length = NativeMethods.OL_GetOutlineTitle(db, buffer);
            Expect(new string(buffer, 0, length) == "Summer trip à deux", "title read back with its length");
            Expect(NativeMethods.OL_GetCategoryName(db, null) == "Travel".Length, "category length without a buffer");
            NativeMethods.OL_GetCategoryName(db, buffer);
            Expect(Text.FromBuffer(buffer) == "Travel", "category read back");
            Expect(NativeMethods.OL_GetPrivate(db), "private read back");
            var font = (LogFont)Marshal.PtrToStructure(NativeMethods.OL_GetOutlineFont(db), typeof(LogFont));
            Expect(font.FaceName == "Sans Serif" && font.Height == 14 && font.Weight == 700 && font.Underline == 1
                   && font.Italic == 0, "font read back");
            WindowPlacement placement;
            NativeMethods.OL_GetOutlineWindowPos(db, out placement);
            Expect(placement.Length == 44 && placement.Left == 10 && placement.Bottom == 400, "placement read back");
            var numbering = new byte[10];
            NativeMethods.OL_getNumbering(db, numbering);
            Expect(numbering[0] == 1 && numbering[9] == 10, "numbering read back");
            Expect(NativeMethods.OL_GetSize(db) == Items.Length, "every item read back");
            for (int i = 0; i < Items.Length; i++)
            {
                IntPtr record = NativeMethods.OL_GetRecord(db, (uint)i);
                Expect(Text.OfRecord(record, false) == Items[i], "item " + i + " text");
                Expect(Marshal.PtrToStringUni(NativeMethods.OL_GetRecordString(db, (uint)i)) == Items[i],
                       "item " + i + " through OL_GetRecordString");
            }
            Expect(NativeMethods.OL_GetRecordChecked(db, 1) && !NativeMethods.OL_GetRecordChecked(db, 0), "checked flags");
            IntPtr last = NativeMethods.OL_GetRecord(db, (uint)Items.Length - 1);
            Expect(NativeMethods.OL_HasNote(last) && Text.OfRecord(last, true) == "a note", "note read back");
            Expect(NativeMethods.OL_GetIndent(last) == 1, "indent read back");
        }
        // A record that is never handed over is deleted with its handle.
        OutlineRecordHandle loose = NativeMethods.OL_CreateOutlineRecord();
        NativeMethods.OL_Init(loose.DangerousGetHandle());
        loose.Dispose();
        Expect(loose.IsClosed, "the record handle released its record");
    }

    static void DamagedFiles()
    {
        byte[] valid = File.ReadAllBytes(PathOf("trip.zro"));
        var cases = new[] {
            Tuple.Create("foreign.zro", new byte[] { 0x78, 0x56, 0x34, 0x13, 0, 0, 0, 0, 0, 0, 0, 0 }),
            Tuple.Create("cut.zro", valid.Take(valid.Length / 2)),
            Tuple.Create("empty.zro", new byte[0]),
        };
        foreach (var damaged in cases)
        {
            File.WriteAllBytes(PathOf(damaged.Item1), damaged.Item2);
            // Refused: the open fails, or a read throws the recorded failure.
            bool opened = false;
            NotestoreException caught = null;
            try
            {
                using (var db = NativeMethods.OL_CreateOutlineDB())
                {
                    opened = NativeMethods.OL_Open(db, PathOf(damaged.Item1), OpenMode.Read) == 1;
                    if (opened)
                    {
                        NativeMethods.OL_ReadSharedHeader(db);
                        NotestoreException.ThrowIfFailed("OL_ReadSharedHeader");
                        NativeMethods.OL_ReadPrivateHeader(db);
                        NotestoreException.ThrowIfFailed("OL_ReadPrivateHeader");
                        NativeMethods.OL_ReadRows(db);
                    }
                    NotestoreException.ThrowIfFailed("reading " + damaged.Item1);
                }
            }
            catch (NotestoreException e)
            {
                caught = e;
            }
            Expect(!opened || (caught != null && caught.Kind != ExceptionKind.None && caught.Message.Length > 0),
                   damaged.Item1 + " is refused");
        }
        using (var db = NativeMethods.OL_CreateOutlineDB())
        {
            Expect(NativeMethods.OL_Open(db, PathOf("absent.zro"), OpenMode.Read) == 0, "a missing file does not open");
        }
        // A foreign category file is refused with a recorded database error.
        File.WriteAllBytes(PathOf("foreign.db"), System.Text.Encoding.ASCII.GetBytes("not a category database at all"));
        using (var db = NativeMethods.OL_CreateCategoryDB())
        {
            Expect(NativeMethods.OL_OpenCategoryFile(db, PathOf("foreign.db"), OpenMode.CategoryRead) == 0,
                   "a foreign category file does not open");
            var failure = NotestoreException.FromLastRecord("OL_OpenCategoryFile");
            Expect(failure != null && failure.Kind == ExceptionKind.Database && failure.Number == 12
                   && failure.Text.StartsWith("The db check code is different."), "the record becomes the exception");
            Expect(failure != null && failure.Message.StartsWith("OL_OpenCategoryFile: "), "the message names the call");
            NativeMethods.OL_CategoryClose(db);
            Expect(NotestoreException.FromLastRecord("OL_CategoryClose") == null, "the next call clears the record");
        }
        Expect(NativeMethods.OL_GetSizeX() >= 0, "the process goes on after damaged files");
    }

    static byte[] Take(this byte[] bytes, int count)
    {
        var part = new byte[count];
        Array.Copy(bytes, part, count);
        return part;
    }

    static int Main(string[] arguments)
    {
        folder = arguments[0];
        if (Directory.Exists(folder))
            Directory.Delete(folder, true);
        Directory.CreateDirectory(folder);
        Layouts();
        Categories();
        Documents();
        DamagedFiles();
        Console.WriteLine("csharp: {0} passed, {1} failed", passed, failed);
        return failed == 0 ? 0 : 1;
    }
}
